#include "probe_program.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <cwchar>

namespace {

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  *std::wcsrchr(path, L'\\') = L'\0';
  return path;
}

// Ends the processes of that name at once (no pause, unlike the updater's walk).
void EndProcessesNamed(const std::wstring& name) {
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    if (name != entry.szExeFile) continue;
    UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (process && TerminateProcess(process.Get(), 0)) WaitForSingleObject(process.Get(), 5000);
  }
}

}  // namespace

std::wstring TempFolderPath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetTempPathW(MAX_PATH, path);
  if (length > 0 && path[length - 1] == L'\\') path[length - 1] = L'\0';
  return path;
}

ProbeProgram::ProbeProgram(const std::wstring& folder, const std::wstring& fileName)
    : path_(folder + L"\\" + fileName), name_(fileName) {
  SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  copied_ = CopyFileW((OwnFolder() + L"\\progress_probe.exe").c_str(), path_.c_str(), FALSE) != FALSE;
}

ProbeProgram::~ProbeProgram() {
  for (UniqueHandle& process : processes_) {
    TerminateProcess(process.Get(), 0);
    WaitForSingleObject(process.Get(), 5000);
  }
  processes_.clear();
  EndProcessesNamed(name_);
  for (int attempt = 0; attempt < 50 && !DeleteFileW(path_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND;
       ++attempt) {
    Sleep(100);
  }
}

HANDLE ProbeProgram::Start(DWORD holdMs) {
  std::wstring commandLine = L"\"" + path_ + L"\" " + std::to_wstring(holdMs);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return nullptr;
  }
  CloseHandle(process.hThread);
  processes_.emplace_back(process.hProcess);
  return process.hProcess;
}

int CountProcessesNamed(const std::wstring& name) {
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    if (name == entry.szExeFile) ++count;
  }
  return count;
}

bool WaitForProcessCount(const std::wstring& name, int count, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (CountProcessesNamed(name) != count) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(100);
  }
  return true;
}
