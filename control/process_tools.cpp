#include "control/process_tools.h"

#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cwchar>

#include "app/win32_raii.h"

namespace {
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

bool GetProgramFilesFolder() {
  wchar_t buffer[MAX_PATH] = {};
  const bool found = SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_PROGRAM_FILES, FALSE) != FALSE;
  ProgramFilesText() = found ? buffer : L"";
  return found;
}

const std::wstring& ProgramFilesFolder() { return ProgramFilesText(); }
