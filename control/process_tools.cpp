#include "control/process_tools.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cwchar>

#include "app/win32_raii.h"

namespace {

// A terminated process is given at most this long to go before the next one.
constexpr DWORD kAfterTerminationMs = 2000;

std::wstring& ProgramFilesText() {
  static std::wstring text;
  return text;
}

}  // namespace

bool IsProcessRunning(const wchar_t* name) {
  if (name == nullptr) return false;
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    if (std::wcscmp(entry.szExeFile, name) == 0) return true;
  }
  return false;
}

bool TerminateProcessesByName(const wchar_t* name) {
  if (name == nullptr) return false;
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    if (std::wcscmp(entry.szExeFile, name) != 0) continue;
    UniqueHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID));
    if (!TerminateAndWait(process.Get())) return false;  // also a process that could not be opened
  }
  return true;
}

bool TerminateAndWait(HANDLE process) {
  DWORD exitCode = 0;
  GetExitCodeProcess(process, &exitCode);
  if (!TerminateProcess(process, exitCode)) return false;
  // Termination is asynchronous: the process is gone when its handle is signalled.
  WaitForSingleObject(process, kAfterTerminationMs);
  return true;
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool StartProgramHidden(const wchar_t* path, const wchar_t* parameters) {
  // The program runs in its own folder, as when started from its shortcut;
  // a file that cannot start shows no shell error box, which on the worker
  // thread of an unattended run nobody would close.
  const std::wstring folder = FolderOf(path != nullptr ? path : L"");
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_FLAG_NO_UI;
  execute.lpVerb = L"open";
  execute.lpFile = path;
  execute.lpParameters = parameters;
  execute.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  execute.nShow = SW_HIDE;
  return ShellExecuteExW(&execute) != FALSE;
}

bool GetProgramFilesFolder() {
  wchar_t buffer[MAX_PATH] = {};
  const bool found = SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_PROGRAM_FILES, FALSE) != FALSE;
  ProgramFilesText() = found ? buffer : L"";
  return found;
}

const std::wstring& ProgramFilesFolder() { return ProgramFilesText(); }
