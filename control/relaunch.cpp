#include "control/relaunch.h"

#include <windows.h>
#include <shlwapi.h>

#include <cwchar>

#include "base/trace.h"
#include "control/process_tools.h"
#include "control/shell_start.h"
#include "control/user_start.h"

namespace {

// The signed-in user's desktop shell; 0 where there is none (a service's
// session, the shell ended).
DWORD ShellProcessId() {
  const HWND shell = GetShellWindow();
  DWORD processId = 0;
  if (shell == nullptr || GetWindowThreadProcessId(shell, &processId) == 0) return 0;
  return processId;
}

std::wstring Code(const wchar_t* format, unsigned long code) {
  wchar_t text[64] = {};
  std::swprintf(text, 64, format, code);
  return text;
}

}  // namespace

std::wstring TvRecorderPath() { return ProgramFilesFolder() + L"\\Orvane\\Tunerbay\\Kestrav.exe"; }

RelaunchResult StartAsSignedInUser(const std::wstring& path, DWORD shellProcessId) {
  const DWORD error = StartAsUserOfProcess(shellProcessId, path);
  if (error == ERROR_SUCCESS) return {true, L"with the desktop shell's token"};
  std::wstring failures = shellProcessId == 0 ? std::wstring(L"no desktop shell window")
                                              : Code(L"the desktop shell's token not usable (error %lu)", error);
  // Without Secondary Logon the token cannot be used: the shell itself can still start it.
  const HRESULT hr = StartThroughDesktopShell(path);
  if (hr == S_OK) return {true, L"through the desktop shell"};
  failures += hr == S_FALSE ? std::wstring(L", the desktop shell not found")
                            : Code(L", the desktop shell could not start it (0x%08lx)", static_cast<unsigned long>(hr));
  return {false, failures};
}

RelaunchResult StartAsConsoleSessionUser(const std::wstring& path) {
  const DWORD error = StartAsConsoleUser(path);
  if (error == ERROR_SUCCESS) return {true, L"as the console session's user"};
  return {false, Code(L"no console session's user to start it as (error %lu)", error)};
}

bool RelaunchTvRecorder() {
  const std::wstring path = TvRecorderPath();
  if (!PathFileExistsW(path.c_str())) {
    Trace(L"program: recording application not started: file not found");
    return false;
  }
  // Started as the updater runs it would be elevated, or the system
  // account's in session 0: it is started as the user or not at all.
  const RelaunchResult result =
      RunsAsSystemAccount() ? StartAsConsoleSessionUser(path) : StartAsSignedInUser(path, ShellProcessId());
  Trace(result.started ? L"program: recording application started %ls" : L"program: recording application not started: %ls",
        result.how.c_str());
  return result.started;
}
