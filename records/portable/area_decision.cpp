#include "records/portable/area_decision.h"

namespace {

constexpr uint16_t kLangEnglish = 9;
constexpr uint16_t kLangSpanish = 10;
constexpr uint16_t kLangFrench = 12;
constexpr uint16_t kLangPortuguese = 22;
constexpr uint16_t kFrenchCanada = 0x0C0C;
constexpr uint32_t kLocationFrench = 2031;

uint16_t PrimaryLanguage(uint16_t languageId) { return languageId & 0x3FF; }

struct LocaleArea {
  uint16_t locale;
  int area;
};

constexpr LocaleArea kLocaleAreas[] = {
    {0x0404, 2},  {0x0407, 3},  {0x0408, 4},  {0x040C, 12}, {0x0410, 13}, {0x0411, 14},
    {0x0412, 15}, {0x0413, 16}, {0x0415, 22}, {0x0416, 17}, {0x0418, 18}, {0x0419, 19},
    {0x041D, 20}, {0x041F, 21}, {0x0809, 6},  {0x0C04, 8},  {0x0C0A, 9},
};

// The system locales of French: France, Belgium, Canada, Switzerland, Luxembourg, Monaco.
bool IsFrenchLocale(uint16_t locale) {
  return locale == 0x040C || locale == 0x080C || locale == 0x0C0C || locale == 0x100C || locale == 0x140C ||
         locale == 0x180C;
}

}  // namespace

int DecideAreaCode(const AreaSettings& s) {
  if (s.releaseArea == L"cns_CN") return 1;
  if (s.releaseArea == L"en_US") return 7;
  if (s.releaseArea == L"all_CA") {
    return PrimaryLanguage(s.userLanguage) == kLangFrench && s.systemLocale == kFrenchCanada ? 11 : 5;
  }
  if (s.releaseArea == L"fr_CA") return 11;

  if (s.location == kLocationFrench && PrimaryLanguage(s.uiLanguage) == kLangFrench) return 23;

  for (const LocaleArea& row : kLocaleAreas) {
    if (row.locale == s.systemLocale) return row.area;
  }

  switch (PrimaryLanguage(s.userLanguage)) {
    case kLangEnglish:
      return 8;
    case kLangSpanish:
      return 10;
    case kLangFrench:
      return IsFrenchLocale(s.systemLocale) ? 12 : 23;
    case kLangPortuguese:
      return 18;
    default:
      return 7;
  }
}
