#include "applicability/version_info.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint16_t v) {
  b.push_back(v & 0xFF);
  b.push_back(v >> 8);
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void Pad4(Bytes& b) {
  while (b.size() % 4) b.push_back(0);
}

// One node: header, key, padding, value, padding, children; its length
// field is filled in at the end.
Bytes Node(const std::string& key, const Bytes& value, const Bytes& children) {
  Bytes b;
  Put16(b, 0);
  Put16(b, static_cast<std::uint16_t>(value.size()));
  Put16(b, 0);
  for (char c : key) Put16(b, static_cast<std::uint8_t>(c));
  Put16(b, 0);
  Pad4(b);
  b.insert(b.end(), value.begin(), value.end());
  Pad4(b);
  b.insert(b.end(), children.begin(), children.end());
  b[0] = b.size() & 0xFF;
  b[1] = b.size() >> 8;
  return b;
}

Bytes Sample() {
  Bytes fixed;
  Put32(fixed, 0xFEEF04BD);
  Put32(fixed, 0x00010000);
  Put32(fixed, 0x00020002);  // file 2.2.3.4170
  Put32(fixed, 0x0003104A);
  Put32(fixed, 0x00050006);  // product 5.6.7.8
  Put32(fixed, 0x00070008);
  while (fixed.size() < 52) fixed.push_back(0);
  Bytes pairs;
  for (std::uint16_t language : {1033, 1041}) {
    Put16(pairs, language);
    Put16(pairs, 1200);
  }
  const Bytes translation = Node("Translation", pairs, {});
  return Node("VS_VERSION_INFO", fixed, Node("VarFileInfo", {}, translation));
}

TEST(VersionInfo, ReadsVersionsAndTranslations) {
  VersionInfo info;
  std::string error;
  ASSERT_TRUE(ParseVersionInfo(Sample(), info, error)) << error;
  EXPECT_EQ(VersionText(info.fileVersion), "2.2.3.4170");
  EXPECT_EQ(VersionText(info.productVersion), "5.6.7.8");
  ASSERT_EQ(info.translations.size(), 2u);
  EXPECT_EQ(info.translations[1].language, 1041);
  EXPECT_EQ(info.translations[1].codePage, 1200);
}

TEST(VersionInfo, TruncatedDataIsRefused) {
  const Bytes whole = Sample();
  for (std::size_t size = 0; size < whole.size(); ++size) {
    SCOPED_TRACE(size);
    VersionInfo info;
    std::string error;
    EXPECT_FALSE(ParseVersionInfo(Bytes(whole.begin(), whole.begin() + size), info, error));
    EXPECT_FALSE(error.empty());
  }
}

TEST(VersionInfo, ChildLongerThanItsParentIsRefused) {
  Bytes data = Sample();
  data[92] = 0xF0;  // VarFileInfo's length, past the end of the root
  VersionInfo info;
  std::string error;
  EXPECT_FALSE(ParseVersionInfo(data, info, error));
}

}  // namespace
