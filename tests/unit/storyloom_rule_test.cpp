#include "applicability/portable/storyloom_rule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Utf16(const std::u16string& s, bool terminated = true) {
  std::vector<uint8_t> bytes;
  for (char16_t c : s) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  if (terminated) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

TEST(StoryloomEdition, OldEditionIsATextBelowTwo) {
  EXPECT_TRUE(IsOldStoryloomEdition(true, kRegSz, Utf16(u"1.0")));
  EXPECT_TRUE(IsOldStoryloomEdition(true, kRegExpandSz, Utf16(u"0.9")));
  EXPECT_TRUE(IsOldStoryloomEdition(true, kRegSz, {}));            // size 0
  EXPECT_TRUE(IsOldStoryloomEdition(true, kRegSz, Utf16(u"")));    // just the terminator
}

TEST(StoryloomEdition, EverythingElseIsModernOrNone) {
  EXPECT_FALSE(IsOldStoryloomEdition(true, kRegSz, Utf16(u"2.0")));
  EXPECT_FALSE(IsOldStoryloomEdition(true, kRegSz, Utf16(u"A")));
  EXPECT_FALSE(IsOldStoryloomEdition(false, kRegSz, Utf16(u"1.0")));  // missing value
  EXPECT_FALSE(IsOldStoryloomEdition(true, 4 /*REG_DWORD*/, {1, 0, 0, 0}));
  EXPECT_FALSE(IsOldStoryloomEdition(true, kRegSz, Utf16(u"1.0", false)));  // unterminated
  std::vector<uint8_t> odd = Utf16(u"1.0");
  odd.push_back(0);
  EXPECT_FALSE(IsOldStoryloomEdition(true, kRegSz, odd));  // odd size
  EXPECT_FALSE(IsOldStoryloomEdition(true, kRegSz, {0x31}));
}

TEST(StoryloomVariant, GroupsFollowTheEdition) {
  for (int id : {499, 505, 511}) {
    EXPECT_TRUE(PassesStoryloomVariantRule(id, true)) << id;
    EXPECT_FALSE(PassesStoryloomVariantRule(id, false)) << id;
  }
  for (int id : {512, 518, 524}) {
    EXPECT_FALSE(PassesStoryloomVariantRule(id, true)) << id;
    EXPECT_TRUE(PassesStoryloomVariantRule(id, false)) << id;
  }
  for (int id : {401, 498, 525, 561}) {
    EXPECT_TRUE(PassesStoryloomVariantRule(id, true)) << id;
    EXPECT_TRUE(PassesStoryloomVariantRule(id, false)) << id;
  }
}

}  // namespace
