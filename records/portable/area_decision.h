// The area code of a PC from its release-area setting, location setting and
// locale settings. Callers only tell 1 (the Chinese release) from the rest.
#pragma once
#include <cstdint>
#include <string>

struct AreaSettings {
  std::wstring releaseArea;   // "ReleaseArea" of the maker's AreaInfo key; empty when absent
  uint32_t location = 0;      // "dwLocation" of the maker's Shared Info key; 0 when absent
  uint16_t systemLocale = 0;  // low 16 bits of the system default LCID
  uint16_t userLanguage = 0;  // the user's default language id
  uint16_t uiLanguage = 0;    // the user's default UI language id
};

// 1 to 23; first match wins: the release area, then the location with a
// French user interface, then the system locale, then the user's language.
int DecideAreaCode(const AreaSettings& settings);
