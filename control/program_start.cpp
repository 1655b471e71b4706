#include "control/program_start.h"

#include "base/win32_raii.h"
#include "control/process_tools.h"

std::wstring ProgramCommandLine(const std::wstring& path, const wchar_t* parameters) {
  std::wstring commandLine = L"\"" + path + L"\"";
  if (parameters != nullptr && *parameters != L'\0') commandLine += std::wstring(L" ") + parameters;
  return commandLine;
}

STARTUPINFOW HiddenStartup(wchar_t* desktop) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktop;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  return startup;
}

DWORD StartProgramHidden(const std::wstring& path, const wchar_t* parameters) {
  if (path.empty()) return ERROR_FILE_NOT_FOUND;
  std::wstring commandLine = ProgramCommandLine(path, parameters);
  const std::wstring folder = FolderOf(path);
  STARTUPINFOW startup = HiddenStartup();
  PROCESS_INFORMATION started{};
  // The application name is the full path: nothing is searched for, and a
  // file that cannot start is an error code, not a shell's error box.
  if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
    return GetLastError();
  }
  UniqueHandle thread(started.hThread);
  UniqueHandle process(started.hProcess);
  return ERROR_SUCCESS;
}
