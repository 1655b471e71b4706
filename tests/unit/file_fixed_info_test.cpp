#include "applicability/portable/file_fixed_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "tests/unit/pe_test_image.h"
#include "tests/unit/version_block.h"

namespace {

using namespace pe_test;
using namespace version_test;

// A PE image whose version resource's root value is `value`.
Bytes ImageWithVersion(const Bytes& value) {
  const Bytes block = Node("VS_VERSION_INFO", value, {});
  ResourceSection rsrc(1);
  const std::uint32_t languages = rsrc.Directory({{1033, rsrc.Leaf(std::string(block.begin(), block.end()))}});
  rsrc.Root({{16, rsrc.Directory({{1, languages}})}});
  return rsrc.Image();
}

FileFixedInfo Read(const Bytes& file, FixedFileInfoBytes& info) {
  MemoryImage memory(file);
  return ReadFileFixedInfo(memory, info);
}

TEST(FileFixedInfo, PeImagesAreReadOlderProgramsLeftToTheSystem) {
  Bytes value(kFixedFileInfoSize);
  for (std::size_t k = 0; k < value.size(); ++k) value[k] = static_cast<std::uint8_t>(k * 7 + 3);
  const Bytes image = ImageWithVersion(value);
  FixedFileInfoBytes info{};
  ASSERT_EQ(Read(image, info), FileFixedInfo::kFound);
  EXPECT_TRUE(std::equal(info.begin(), info.end(), value.begin()));

  Bytes newExecutable = image;
  std::memcpy(&newExecutable[0x40], "NE", 2);
  EXPECT_EQ(Read(newExecutable, info), FileFixedInfo::kOlderProgram);
  Bytes headerPastTheEnd = image;
  Put32(headerPastTheEnd, 0x3C, static_cast<std::uint32_t>(image.size() - 2));
  EXPECT_EQ(Read(headerPastTheEnd, info), FileFixedInfo::kOlderProgram);
  EXPECT_EQ(Read(Bytes(image.begin(), image.begin() + 0x3F), info), FileFixedInfo::kOlderProgram);

  Bytes notAProgram = image;
  notAProgram[0] = 'Z';
  EXPECT_EQ(Read(notAProgram, info), FileFixedInfo::kNone);
  EXPECT_EQ(Read(Bytes(image.begin(), image.end() - 1), info), FileFixedInfo::kNone);  // a damaged image
  EXPECT_EQ(Read({}, info), FileFixedInfo::kNone);
}

}  // namespace
