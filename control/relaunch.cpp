#include "control/relaunch.h"

#include <windows.h>
#include <shlwapi.h>

#include "app/trace.h"
#include "app/win32_raii.h"
#include "control/process_tools.h"

bool StartAsUserOfProcess(DWORD processId, const std::wstring& path) {
  if (processId == 0) return false;
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  HANDLE rawToken = nullptr;
  if (!process || !OpenProcessToken(process.Get(), TOKEN_DUPLICATE, &rawToken)) return false;
  UniqueHandle token(rawToken);
  HANDLE rawPrimary = nullptr;
  if (!DuplicateTokenEx(token.Get(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT |
                                         TOKEN_ADJUST_SESSIONID,
                        nullptr, SecurityImpersonation, TokenPrimary, &rawPrimary)) {
    return false;
  }
  UniqueHandle primary(rawPrimary);
  const std::wstring folder = FolderOf(path);
  std::wstring commandLine = L"\"" + path + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started{};
  if (!CreateProcessWithTokenW(primary.Get(), 0, path.c_str(), commandLine.data(), 0, nullptr,
                               folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
    return false;
  }
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return true;
}

namespace {

// The signed-in user's desktop shell; 0 where there is none (a service's session).
DWORD ShellProcessId() {
  const HWND shell = GetShellWindow();
  DWORD processId = 0;
  if (shell == nullptr || GetWindowThreadProcessId(shell, &processId) == 0) return 0;
  return processId;
}

}  // namespace

std::wstring TvRecorderPath() { return ProgramFilesFolder() + L"\\Orvane\\Tunerbay\\Kestrav.exe"; }

bool RelaunchTvRecorder() {
  const std::wstring path = TvRecorderPath();
  if (!PathFileExistsW(path.c_str())) return false;
  if (StartAsUserOfProcess(ShellProcessId(), path)) {
    Trace(L"program: recording application started as the signed-in user");
    return true;
  }
  // No shell to take the user from: started as the updater runs.
  return StartProgramHidden(path.c_str(), nullptr);
}
