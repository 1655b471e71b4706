#include "records/portable/area_decision.h"

#include <gtest/gtest.h>

namespace {

constexpr uint16_t kEnUs = 0x0409;
constexpr uint16_t kDeDe = 0x0407;
constexpr uint16_t kFrFr = 0x040C;
constexpr uint16_t kFrCa = 0x0C0C;
constexpr uint16_t kZhCn = 0x0804;

AreaSettings Pc(uint16_t systemLocale, uint16_t userLanguage, uint16_t uiLanguage = kEnUs) {
  AreaSettings s;
  s.systemLocale = systemLocale;
  s.userLanguage = userLanguage;
  s.uiLanguage = uiLanguage;
  return s;
}

AreaSettings WithRelease(AreaSettings s, const wchar_t* area) {
  s.releaseArea = area;
  return s;
}

TEST(AreaCode, ReleaseAreaDecidesFirst) {
  for (const AreaSettings& pc : {Pc(kEnUs, kEnUs), Pc(0x0411, 0x0411, 0x0411), Pc(kFrCa, kFrCa, kFrCa)}) {
    AreaSettings located = pc;
    located.location = 2031;
    EXPECT_EQ(DecideAreaCode(WithRelease(located, L"cns_CN")), 1);
    EXPECT_EQ(DecideAreaCode(WithRelease(located, L"en_US")), 7);
    EXPECT_EQ(DecideAreaCode(WithRelease(located, L"fr_CA")), 11);
  }
}

TEST(AreaCode, AllCanadaNeedsFrenchUserAndFrenchCanadianSystem) {
  EXPECT_EQ(DecideAreaCode(WithRelease(Pc(kFrCa, kFrCa), L"all_CA")), 11);
  EXPECT_EQ(DecideAreaCode(WithRelease(Pc(kFrCa, 0x080C), L"all_CA")), 11);  // primary language only
  EXPECT_EQ(DecideAreaCode(WithRelease(Pc(kFrFr, kFrFr), L"all_CA")), 5);
  EXPECT_EQ(DecideAreaCode(WithRelease(Pc(kFrCa, 0x1009), L"all_CA")), 5);  // English (Canada) user
  EXPECT_EQ(DecideAreaCode(WithRelease(Pc(kEnUs, kEnUs), L"all_CA")), 5);
}

TEST(AreaCode, OtherReleaseTextsFallThrough) {
  // Case matters and the whole text must match; what falls through is decided by the locale.
  for (const wchar_t* text : {L"CNS_CN", L"cns_cn", L"cns_CN ", L" cns_CN", L"cns", L"ja_JP", L""}) {
    EXPECT_EQ(DecideAreaCode(WithRelease(Pc(0x0411, kEnUs), text)), 14);
    EXPECT_EQ(DecideAreaCode(WithRelease(Pc(kEnUs, kEnUs), text)), 8);
  }
}

TEST(AreaCode, FrenchLocationNeedsAFrenchUserInterface) {
  AreaSettings pc = Pc(0x0411, 0x0411, kFrFr);
  pc.location = 2031;
  EXPECT_EQ(DecideAreaCode(pc), 23);  // before the system locale table
  pc.uiLanguage = 0x140C;              // French (Luxembourg): primary language French
  EXPECT_EQ(DecideAreaCode(pc), 23);
  pc.uiLanguage = kEnUs;
  EXPECT_EQ(DecideAreaCode(pc), 14);
  pc.uiLanguage = kFrFr;
  pc.location = 2030;
  EXPECT_EQ(DecideAreaCode(pc), 14);
  // The user's language does not count here, only the UI language.
  AreaSettings frenchUser = Pc(0x0411, kFrFr, kEnUs);
  frenchUser.location = 2031;
  EXPECT_EQ(DecideAreaCode(frenchUser), 14);
}

TEST(AreaCode, SystemLocaleTable) {
  const struct {
    uint16_t locale;
    int area;
  } rows[] = {
      {1028, 2},  {1031, 3},  {1032, 4},  {1036, 12}, {1040, 13}, {1041, 14}, {1042, 15}, {1043, 16}, {1045, 22},
      {1046, 17}, {1048, 18}, {1049, 19}, {1053, 20}, {1055, 21}, {2057, 6},  {3076, 8},  {3082, 9},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.locale);
    // Whatever the user's language.
    for (uint16_t user : {kEnUs, kDeDe, kFrFr, static_cast<uint16_t>(0x0416), kZhCn}) {
      EXPECT_EQ(DecideAreaCode(Pc(row.locale, user)), row.area);
    }
  }
}

TEST(AreaCode, UserLanguageTableForOtherLocales) {
  EXPECT_EQ(DecideAreaCode(Pc(kEnUs, kEnUs)), 8);
  EXPECT_EQ(DecideAreaCode(Pc(kEnUs, 0x0C09)), 8);    // English (Australia)
  EXPECT_EQ(DecideAreaCode(Pc(0x080A, 0x080A)), 10);  // Spanish (Mexico)
  EXPECT_EQ(DecideAreaCode(Pc(0x0816, 0x0816)), 18);  // Portuguese (Portugal)
  EXPECT_EQ(DecideAreaCode(Pc(2070, 0x0416)), 18);
  EXPECT_EQ(DecideAreaCode(Pc(kEnUs, kDeDe)), 7);
  EXPECT_EQ(DecideAreaCode(Pc(kZhCn, kZhCn)), 7);
  EXPECT_EQ(DecideAreaCode(Pc(0, 0)), 7);
}

TEST(AreaCode, FrenchUserByFrenchOrOtherSystemLocale) {
  // 1036 is decided by the locale table already; the other French locales by this rule.
  for (uint16_t locale : {0x040C, 0x080C, 0x0C0C, 0x100C, 0x140C, 0x180C}) {
    EXPECT_EQ(DecideAreaCode(Pc(locale, kFrFr)), 12) << locale;
  }
  for (uint16_t locale : {kEnUs, static_cast<uint16_t>(0x1C0C), static_cast<uint16_t>(0x0000)}) {
    EXPECT_EQ(DecideAreaCode(Pc(locale, 0x0C0C)), 23) << locale;
  }
}

TEST(AreaCode, ChineseReleaseOnlyFromTheReleaseArea) {
  // No locale, language or location gives 1.
  for (uint16_t locale : {kZhCn, static_cast<uint16_t>(0x0404), static_cast<uint16_t>(0x0C04),
                          static_cast<uint16_t>(0x1004), kEnUs}) {
    for (uint16_t user : {kZhCn, static_cast<uint16_t>(0x0404), kEnUs}) {
      for (uint32_t location : {0u, 1u, 2031u, 86u}) {
        AreaSettings pc = Pc(locale, user, user);
        pc.location = location;
        EXPECT_NE(DecideAreaCode(pc), 1);
      }
    }
  }
}

}  // namespace
