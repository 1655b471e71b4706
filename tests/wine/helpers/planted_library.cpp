// planted_library.dll: what a hostile program of the user would leave beside
// a downloaded updater as "version.dll". When any process loads it, it writes
// "<its own path>.loaded", so a scenario can tell whether the updater's
// loader ever took it. Its functions answer "no version resource".
#include <windows.h>

#include <string>

extern "C" {

__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR, LPDWORD handle) {
  if (handle != nullptr) *handle = 0;
  SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
  return 0;
}

__declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(LPCWSTR, DWORD, DWORD, LPVOID) {
  SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
  return FALSE;
}

__declspec(dllexport) BOOL WINAPI VerQueryValueW(LPCVOID, LPCWSTR, LPVOID*, PUINT) { return FALSE; }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    const HANDLE marker = CreateFileW((std::wstring(path) + L".loaded").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  }
  return TRUE;
}
