#include "app/platform.h"

#include <windows.h>

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
