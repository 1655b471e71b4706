#include "app/os_version_cache.h"

const OsVersionData& OsVersionCache() {
  static const OsVersionData cache = [] {
    OsVersionData data;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (GetVersionExW(&info)) {
      data.majorVersion = info.dwMajorVersion;
      data.minorVersion = info.dwMinorVersion;
      data.buildNumber = info.dwBuildNumber;
      data.platformId = info.dwPlatformId;
      data.servicePack = info.szCSDVersion;
    }
    return data;
  }();
  return cache;
}
