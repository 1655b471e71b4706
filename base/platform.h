// Facts about the machine that decide folders and registry views.
#pragma once
#include <string>

// The native processor is 64-bit (x64 or Itanium), as GetNativeSystemInfo reports it.
bool Is64BitProcessor();

// This 32-bit process runs under WOW64; false when IsWow64Process is missing or fails.
bool IsRunningUnderWow64();

// The full path of the program's own file; empty when it cannot be read. The
// buffer starts at 260 characters and grows by half until the path fits.
std::wstring OwnModulePath();
