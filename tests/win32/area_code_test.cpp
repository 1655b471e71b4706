// The area code from the maker's settings in the 32-bit registry view. These
// tests run under an English (United States) locale; the scenarios of
// tests/wine run the decision under other locales.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "base/platform.h"
#include "records/area_code.h"
#include "test_registry.h"

namespace {

const wchar_t kAreaInfoKey[] = L"SOFTWARE\\Orvane Corporation\\AreaInfo";
const wchar_t kSharedInfoKey[] = L"Software\\Orvane Corporation\\Shared Info";
constexpr int kEnglishElsewhere = 8;  // system locale 1033 with an English user

class AreaCode : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LANGIDFROMLCID(GetSystemDefaultLCID()), 0x0409) << "the tests expect an en-US prefix";
    ASSERT_EQ(PRIMARYLANGID(GetUserDefaultLangID()), LANG_ENGLISH);
    DeleteMachineKey(kAreaInfoKey);
    DeleteMachineKey(kSharedInfoKey);
  }
  void TearDown() override {
    DeleteMachineKey(kAreaInfoKey);
    DeleteMachineKey(kSharedInfoKey);
  }
};

TEST_F(AreaCode, ReleaseAreaTexts) {
  EXPECT_EQ(GetAreaCode(), kEnglishElsewhere);
  ScopedMachineKey area(kAreaInfoKey);
  EXPECT_EQ(GetAreaCode(), kEnglishElsewhere);
  const struct {
    const wchar_t* text;
    int code;
  } rows[] = {
      {L"cns_CN", 1}, {L"en_US", 7}, {L"fr_CA", 11}, {L"all_CA", 5},  // not a French user
      {L"CNS_CN", kEnglishElsewhere}, {L"cns_CN.", kEnglishElsewhere}, {L"", kEnglishElsewhere},
  };
  for (const auto& row : rows) {
    area.SetString(L"ReleaseArea", row.text);
    EXPECT_EQ(GetAreaCode(), row.code) << std::string(row.text, row.text + wcslen(row.text));
  }
}

TEST_F(AreaCode, OverlongReleaseAreaCountsAsNone) {
  ScopedMachineKey area(kAreaInfoKey);
  // 64 characters and the terminator do not fit the 128-byte buffer.
  area.SetString(L"ReleaseArea", L"cns_CN" + std::wstring(58, L'x'));
  EXPECT_EQ(GetAreaCode(), kEnglishElsewhere);
}

TEST_F(AreaCode, SettingsOfThe64BitViewAreNotRead) {
  SKIP_IN_64_BIT_PROCESS();
  if (!Is64BitProcessor()) GTEST_SKIP() << "one registry view only";
  ScopedMachineKey area(kAreaInfoKey, KEY_WOW64_64KEY);
  area.SetString(L"ReleaseArea", L"cns_CN");
  EXPECT_EQ(GetAreaCode(), kEnglishElsewhere);
}

TEST_F(AreaCode, FrenchLocationNeedsAFrenchInterface) {
  ScopedMachineKey shared(kSharedInfoKey);
  shared.SetDword(L"dwLocation", 2031);
  EXPECT_EQ(GetAreaCode(), kEnglishElsewhere);  // English user interface
}

}  // namespace
