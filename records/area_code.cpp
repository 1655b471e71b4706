#include "records/area_code.h"

#include <windows.h>

#include "base/win32_raii.h"
#include "records/portable/area_decision.h"

namespace {

// "ReleaseArea" read into a zeroed buffer of 64 characters; a longer value,
// or one that cannot be read, leaves the text empty. The type is not checked.
std::wstring ReadReleaseArea() {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvane Corporation\\AreaInfo", 0, KEY_READ, key.Receive()) !=
      ERROR_SUCCESS) {
    return std::wstring();
  }
  wchar_t text[64] = {};
  DWORD size = sizeof text;
  if (RegQueryValueExW(key.Get(), L"ReleaseArea", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) !=
      ERROR_SUCCESS) {
    return std::wstring();
  }
  size_t length = 0;
  while (length < 64 && text[length] != L'\0') ++length;
  return std::wstring(text, length);
}

// "dwLocation" read as 4 bytes into a zeroed number, whatever its type.
uint32_t ReadLocation() {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Orvane Corporation\\Shared Info", 0, KEY_READ, key.Receive()) !=
      ERROR_SUCCESS) {
    return 0;
  }
  DWORD location = 0;
  DWORD size = sizeof location;
  if (RegQueryValueExW(key.Get(), L"dwLocation", nullptr, nullptr, reinterpret_cast<BYTE*>(&location), &size) !=
      ERROR_SUCCESS) {
    return 0;
  }
  return location;
}

}  // namespace

int GetAreaCode() {
  AreaSettings settings;
  settings.releaseArea = ReadReleaseArea();
  settings.location = ReadLocation();
  settings.systemLocale = LANGIDFROMLCID(GetSystemDefaultLCID());
  settings.userLanguage = GetUserDefaultLangID();
  settings.uiLanguage = GetUserDefaultUILanguage();
  return DecideAreaCode(settings);
}
