#include "applicability/portable/translation_choice.h"

namespace {

bool Lists(const std::vector<Translation>& table, uint16_t language) {
  for (const Translation& t : table) {
    if (t.codePage == kUnicodeCodePage && t.language == language) return true;
  }
  return false;
}

}  // namespace

uint16_t ChooseDescriptionLanguage(const std::vector<Translation>& table, uint16_t userUiLanguage,
                                   uint16_t systemUiLanguage) {
  if (Lists(table, userUiLanguage)) return userUiLanguage;
  if (Lists(table, systemUiLanguage)) return systemUiLanguage;
  return kEnglishUs;
}
