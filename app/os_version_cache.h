// The Windows version, read once per process.
#pragma once
#include <windows.h>

#include <string>

struct OsVersionData {
  DWORD majorVersion = 0;
  DWORD minorVersion = 0;
  DWORD buildNumber = 0;
  DWORD platformId = 0;
  std::wstring servicePack;
};

// Filled on first use; when the version cannot be read the values stay zero.
const OsVersionData& OsVersionCache();
