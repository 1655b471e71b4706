#include "applicability/portable/version_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/unit/version_block.h"

namespace {

using namespace version_test;

Bytes Sample() {
  Bytes fixed;
  Append32(fixed, 0xFEEF04BD);
  Append32(fixed, 0x00010000);
  Append32(fixed, 0x00020002);  // file 2.2.3.4170
  Append32(fixed, 0x0003104A);
  Append32(fixed, 0x00050006);  // product 5.6.7.8
  Append32(fixed, 0x00070008);
  while (fixed.size() < 52) fixed.push_back(0);
  Bytes pairs;
  for (std::uint16_t language : {1033, 1041}) {
    Append16(pairs, language);
    Append16(pairs, 1200);
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

TEST(FixedFileInfo, IsTheRootValueWhateverItHolds) {
  // No signature, more than 52 bytes, children after it: the first 52 bytes.
  const Bytes value = Pattern(60);
  Bytes block = Node("VS_VERSION_INFO", value, Node("VarFileInfo", {}, {}));
  FixedFileInfoBytes info{};
  ASSERT_TRUE(ReadFixedFileInfo(block, info));
  EXPECT_TRUE(std::equal(info.begin(), info.end(), value.begin()));
  // A root marked as text still has its value read as bytes.
  block[4] = 1;
  info = {};
  ASSERT_TRUE(ReadFixedFileInfo(block, info));
  EXPECT_TRUE(std::equal(info.begin(), info.end(), value.begin()));
}

TEST(FixedFileInfo, DamagedRootIsRefused) {
  FixedFileInfoBytes info{};
  Bytes shortValue = Node("VS_VERSION_INFO", Pattern(52), {});
  shortValue[2] = 51;  // the bytes are there, the length says less
  EXPECT_FALSE(ReadFixedFileInfo(shortValue, info));
  EXPECT_FALSE(ReadFixedFileInfo(Node("VS_VERSION_INFX", Pattern(52), {}), info));
  EXPECT_FALSE(ReadFixedFileInfo(Node("VS_VERSION", Pattern(52), {}), info));
  Bytes pastTheEnd = Node("VS_VERSION_INFO", Pattern(48), {});
  pastTheEnd[2] = 52;  // a value longer than the root that holds it
  EXPECT_FALSE(ReadFixedFileInfo(pastTheEnd, info));
  EXPECT_FALSE(ReadFixedFileInfo({}, info));
}

Bytes WithStrings() {
  Bytes englishTexts = TextNode("CompanyName", u"Orvane");
  const Bytes description = TextNode("FileDescription", u"Update");
  englishTexts.insert(englishTexts.end(), description.begin(), description.end());
  Bytes tables = Node("040904b0", {}, englishTexts);
  const Bytes german = Node("040704B0", {}, TextNode("FileDescription", u"Aktualisierung f\u00FCr\u0000rest"));
  tables.insert(tables.end(), german.begin(), german.end());
  Bytes fixed;
  Append32(fixed, 0xFEEF04BD);
  while (fixed.size() < 52) fixed.push_back(0);
  return Node("VS_VERSION_INFO", fixed, Node("StringFileInfo", {}, tables));
}

TEST(VersionInfoText, FoundByTableAndKeyAsVerQueryValueFindsIt) {
  const Bytes data = WithStrings();
  std::u16string text;
  ASSERT_TRUE(FindVersionText(data, "040904b0", "FileDescription", text));
  EXPECT_EQ(text, u"Update");
  // Names in any ASCII case; the text ends at its first NUL.
  ASSERT_TRUE(FindVersionText(data, "040704b0", "filedescription", text));
  EXPECT_EQ(text, u"Aktualisierung f\u00FCr");
  EXPECT_FALSE(FindVersionText(data, "041104b0", "FileDescription", text));
  EXPECT_FALSE(FindVersionText(data, "040904b0", "ProductName", text));
  EXPECT_FALSE(FindVersionText(data, "StringFileInfo", "040904b0", text));
  EXPECT_TRUE(text.empty());
}

TEST(VersionInfoText, TruncatedDataIsRefused) {
  const Bytes whole = WithStrings();
  for (std::size_t size = 0; size < whole.size(); ++size) {
    SCOPED_TRACE(size);
    std::u16string text;
    EXPECT_FALSE(FindVersionText(Bytes(whole.begin(), whole.begin() + size), "040904b0", "FileDescription", text));
  }
}

}  // namespace

