#include "applicability/portable/pe_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tests/unit/pe_test_image.h"

namespace {

using namespace pe_test;

// A minimal PE32 image whose resource tree has one leaf, PATCH / 401 / 1033,
// whose data is "hello".
constexpr std::size_t kRsrcSize = 0x70;
constexpr std::size_t kLeafDir = 0x30;
constexpr std::size_t kDataEntry = 0x48;

Bytes MinimalImage() {
  Bytes b = ImageHeaders(kRsrcSize);
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

// An image with a string table and the version type (16), whose names are 2
// and `name`, the latter in the given languages; each leaf's data says which
// it is.
Bytes VersionImage(std::uint32_t name, const std::vector<std::uint32_t>& languages) {
  ResourceSection rsrc(2);
  ResourceSection::Entries leaves;
  for (std::uint32_t language : languages)
    leaves.push_back({language, rsrc.Leaf("language " + std::to_string(language))});
  const std::uint32_t other = rsrc.Directory({{1033, rsrc.Leaf("name 2")}});
  const std::uint32_t names = rsrc.Directory({{2, other}, {name, rsrc.Directory(leaves)}});
  const std::uint32_t strings = rsrc.Directory({{1, rsrc.Directory({{1033, rsrc.Leaf("strings")}})}});
  rsrc.Root({{pe::kRtString, strings}, {pe::kRtVersion, names}});
  return rsrc.Image();
}

// The data of the leaf that the version lookup takes, or "none".
std::string VersionLeaf(Bytes bytes) {
  MemoryImage memory(std::move(bytes));
  const pe::Image image(memory);
  const std::optional<pe::Resource> found = pe::FindVersionResource(image);
  if (!found) return "none";
  std::string data(found->size, '\0');
  EXPECT_TRUE(memory.ReadAt(found->fileOffset, data.data(), data.size()));
  return data;
}

TEST(VersionResource, NameOneInTheNeutralLanguageElseTheFirst) {
  EXPECT_EQ(VersionLeaf(VersionImage(1, {1033, 0, 1041})), "language 0");
  EXPECT_EQ(VersionLeaf(VersionImage(1, {1041, 1033})), "language 1041");
  EXPECT_EQ(VersionLeaf(VersionImage(1, {})), "none");
  EXPECT_EQ(VersionLeaf(VersionImage(3, {0})), "none");
}

TEST(VersionResource, OtherBranchesAreNotRead) {
  // A named type whose name, and a type whose directory, lie outside the tree.
  ResourceSection rsrc(3);
  const std::uint32_t names = rsrc.Directory({{1, rsrc.Directory({{1033, rsrc.Leaf("version")}})}});
  rsrc.Root({{kSubdirectory | 0xFFF0, names}, {pe::kRtString, kSubdirectory | 0xFFF0}, {pe::kRtVersion, names}});
  const Bytes image = rsrc.Image();
  EXPECT_THROW(Resources(image), pe::FormatError);
  EXPECT_EQ(VersionLeaf(image), "version");
}

TEST(VersionResource, DamagedVersionBranchIsRefused) {
  ResourceSection leafIsDirectory(1);
  const std::uint32_t languages = leafIsDirectory.Directory({{0, leafIsDirectory.Directory({})}});
  leafIsDirectory.Root({{pe::kRtVersion, leafIsDirectory.Directory({{1, languages}})}});
  EXPECT_THROW(VersionLeaf(leafIsDirectory.Image()), pe::FormatError);
  // Name 1 is not among the entries that fit, and the count runs past the tree.
  ResourceSection tooManyNames(1);
  const std::uint32_t names = tooManyNames.Directory({{2, kSubdirectory}});
  tooManyNames.Root({{pe::kRtVersion, names}});
  Bytes image = tooManyNames.Image();
  Put16(image, kRsrc + (names & ~kSubdirectory) + 14, 0xFFFF);
  EXPECT_THROW(VersionLeaf(image), pe::FormatError);
}

}  // namespace
