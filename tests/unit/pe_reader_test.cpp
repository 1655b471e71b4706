#include "applicability/pe_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/unit/little_endian.h"

namespace {

// A minimal PE32 image: one section at RVA 0x1000 (file 0x200) holding a
// resource tree with one leaf, PATCH / 401 / 1033, whose data is "hello".
constexpr std::size_t kOptional = 0x58;
constexpr std::size_t kSectionTable = kOptional + 0xE0;
constexpr std::size_t kRsrc = 0x200;
constexpr std::uint32_t kRsrcRva = 0x1000;
constexpr std::size_t kRsrcSize = 0x70;
constexpr std::size_t kLeafDir = 0x30;
constexpr std::size_t kDataEntry = 0x48;

Bytes MinimalImage() {
  Bytes b(kRsrc + kRsrcSize, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, 0x40);
  std::memcpy(&b[0x40], "PE\0\0", 4);
  Put16(b, 0x44, 0x14C);  // i386
  Put16(b, 0x46, 1);      // one section
  Put16(b, 0x54, 0xE0);   // optional header size
  Put16(b, kOptional, 0x10B);
  Put32(b, kOptional + 92, 16);  // data directories
  Put32(b, kOptional + 96 + 16, kRsrcRva);
  Put32(b, kOptional + 96 + 20, kRsrcSize);
  Put32(b, kSectionTable + 8, kRsrcSize);
  Put32(b, kSectionTable + 12, kRsrcRva);
  Put32(b, kSectionTable + 16, kRsrcSize);
  Put32(b, kSectionTable + 20, kRsrc);
  // Root: one named entry, the type "PATCH" (its name at 0x58).
  Put16(b, kRsrc + 12, 1);
  Put32(b, kRsrc + 16, 0x80000000u | 0x58);
  Put32(b, kRsrc + 20, 0x80000000u | 0x18);
  // Names: one numbered entry, 401.
  Put16(b, kRsrc + 0x18 + 14, 1);
  Put32(b, kRsrc + 0x18 + 16, 401);
  Put32(b, kRsrc + 0x18 + 20, 0x80000000u | kLeafDir);
  // Languages: 1033, pointing at the data entry.
  Put16(b, kRsrc + kLeafDir + 14, 1);
  Put32(b, kRsrc + kLeafDir + 16, 1033);
  Put32(b, kRsrc + kLeafDir + 20, kDataEntry);
  Put32(b, kRsrc + kDataEntry, kRsrcRva + 0x68);
  Put32(b, kRsrc + kDataEntry + 4, 5);
  Put16(b, kRsrc + 0x58, 5);
  for (int k = 0; k < 5; ++k) b[kRsrc + 0x5A + 2 * k] = "PATCH"[k];
  std::memcpy(&b[kRsrc + 0x68], "hello", 5);
  return b;
}

std::vector<pe::Resource> Resources(Bytes bytes) {
  MemoryImage memory(std::move(bytes));
  const pe::Image image(memory);
  return pe::ReadResources(image);
}

TEST(PeReader, FindsTheLeafOfTheResourceTree) {
  const auto resources = Resources(MinimalImage());
  ASSERT_EQ(resources.size(), 1u);
  EXPECT_TRUE(resources[0].type.Is(std::string("PATCH")));
  EXPECT_TRUE(resources[0].name.Is(401));
  EXPECT_EQ(resources[0].language, 1033u);
  EXPECT_EQ(resources[0].fileOffset, kRsrc + 0x68);
  EXPECT_EQ(resources[0].size, 5u);
}

TEST(PeReader, EveryTruncationIsRefused) {
  const Bytes whole = MinimalImage();
  for (std::size_t size = 0; size < whole.size(); ++size) {
    SCOPED_TRACE(size);
    EXPECT_THROW(Resources(Bytes(whole.begin(), whole.begin() + size)), pe::FormatError);
  }
}

TEST(PeReader, DataOutsideItsSectionIsRefused) {
  Bytes image = MinimalImage();
  // In the section, past its file data, into bytes of the file that follow.
  image.resize(image.size() + 0x40);
  Put32(image, kSectionTable + 8, 0x100);
  Put32(image, kRsrc + kDataEntry + 4, 0x20);
  EXPECT_THROW(Resources(image), pe::FormatError);
  image = MinimalImage();
  Put32(image, kRsrc + kDataEntry, 0xFFFFFFF0u);  // in no section, near the top
  EXPECT_THROW(Resources(image), pe::FormatError);
  image = MinimalImage();
  Put32(image, kSectionTable + 20, 0xFFFFFF00u);  // section's data past the file
  EXPECT_THROW(Resources(image), pe::FormatError);
}

TEST(PeReader, DamagedTreeIsRefused) {
  Bytes image = MinimalImage();
  Put32(image, kRsrc + kLeafDir + 20, 0x80000000u);  // back to the root
  EXPECT_THROW(Resources(image), pe::FormatError);
  image = MinimalImage();
  Put32(image, kRsrc + 16, 0x80000000u | 0x6F);  // a name running past the tree
  EXPECT_THROW(Resources(image), pe::FormatError);
  image = MinimalImage();
  Put16(image, kRsrc + 0x18 + 14, 0xFFFF);  // more entries than the tree holds
  EXPECT_THROW(Resources(image), pe::FormatError);
}

TEST(PeReader, NotAnImageIsRefused) {
  Bytes image = MinimalImage();
  image[0x40] = 'X';
  MemoryImage memory(image);
  EXPECT_THROW(pe::Image{memory}, pe::FormatError);
}

}  // namespace
