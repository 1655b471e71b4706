#include "app/silent_mode.h"

#include <windows.h>

#include "base/win32_raii.h"

bool IsLaunchedByUpdateTool() {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvane Corporation\\Teloq Update", 0, KEY_READ,
                    key.Receive()) != ERROR_SUCCESS) {
    return false;
  }
  // The stored type is not examined: a string "1" reads as 0x31 and means user mode.
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExW(key.Get(), L"LaunchInstaller", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                       &size) != ERROR_SUCCESS) {
    return false;
  }
  return value == 1;
}

bool IsWindowStationVisible() {
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  const HWINSTA station = GetProcessWindowStation();  // not to be closed
  if (station == nullptr || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed)) {
    return false;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}
