#include "base/platform.h"

#include <windows.h>

#include <vector>

bool Is64BitProcessor() {
  SYSTEM_INFO info{};
  GetNativeSystemInfo(&info);
  return info.dwProcessorType == PROCESSOR_AMD_X8664 || info.dwProcessorType == PROCESSOR_INTEL_IA64;
}

bool IsRunningUnderWow64() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  const HMODULE kernel = GetModuleHandleA("kernel32");
  if (kernel == nullptr) return false;
  const auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
  BOOL wow64 = FALSE;
  return isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

std::wstring OwnModulePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::wstring();
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() + buffer.size() / 2);
  }
}
