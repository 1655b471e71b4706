#include "control/process_tools.h"

#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cwchar>

#include "base/win32_raii.h"
#include "control/portable/product_folders.h"

namespace {

// A terminated process is given at most this long to go before the next one.
constexpr DWORD kAfterTerminationMs = 2000;
// Image paths longer than MAX_PATH exist (long-path folders).
constexpr DWORD kImagePathChars = 32768;

std::wstring& ProgramFilesText() {
  static std::wstring text;
  return text;
}

}  // namespace

uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

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

std::vector<RunningProcess> ProcessesNamed(const std::wstring& name) {
  std::vector<RunningProcess> found;
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return found;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    if (!SameFilePath(entry.szExeFile, name)) continue;
    RunningProcess process;
    process.processId = entry.th32ProcessID;
    UniqueHandle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (handle) {
      // Both read through the one handle: they describe the same process.
      process.startTime = ProcessStartTime(handle.Get());
      ReadProcessImage(handle.Get(), process.imagePath);
    }
    found.push_back(std::move(process));
  }
  return found;
}

bool IsProgramRunning(const std::wstring& path) {
  for (const RunningProcess& process : ProcessesNamed(ExecutableNameOf(path))) {
    if (SameFilePath(process.imagePath, path)) return true;
  }
  return false;
}

DWORD ReadProcessImage(HANDLE process, std::wstring& imagePath) {
  imagePath.clear();
  std::wstring buffer(kImagePathChars, L'\0');
  DWORD length = kImagePathChars;
  if (!QueryFullProcessImageNameW(process, 0, buffer.data(), &length)) return GetLastError();
  buffer.resize(length);
  imagePath = std::move(buffer);
  return ERROR_SUCCESS;
}

uint64_t ProcessStartTime(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return FileTimeValue(created);
}

bool TerminateIdentifiedProcess(DWORD processId, uint64_t startTime) {
  if (processId == GetCurrentProcessId()) return false;
  UniqueHandle process(OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                   processId));
  if (!process) return false;
  // The id may have been reused since it was listed: the start time tells.
  const uint64_t started = ProcessStartTime(process.Get());
  if (started == 0 || started != startTime) return false;
  return TerminateAndWait(process.Get());
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

bool GetProgramFilesFolder() {
  wchar_t buffer[MAX_PATH] = {};
  const bool found = SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_PROGRAM_FILES, FALSE) != FALSE;
  ProgramFilesText() = found ? buffer : L"";
  return found;
}

const std::wstring& ProgramFilesFolder() { return ProgramFilesText(); }
