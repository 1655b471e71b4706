// The language in which the program's own description is read from its version resource.
#pragma once
#include <cstdint>
#include <vector>

#include "applicability/portable/version_info.h"

constexpr uint16_t kUnicodeCodePage = 1200;
constexpr uint16_t kEnglishUs = 1033;

// Among the translations in code page 1200: the user's UI language when listed,
// else the system's, else English (US); English also when the table is empty.
uint16_t ChooseDescriptionLanguage(const std::vector<Translation>& table, uint16_t userUiLanguage,
                                   uint16_t systemUiLanguage);
