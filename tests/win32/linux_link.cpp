#include "linux_link.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using UnixNameFn = char*(CDECL*)(const wchar_t*);

UnixNameFn UnixName() {
  return reinterpret_cast<UnixNameFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
}

std::wstring UnixPath(const std::wstring& path) {
  const UnixNameFn name = UnixName();
  char* unix = name ? name(path.c_str()) : nullptr;
  if (unix == nullptr) return std::wstring();
  std::wstring wide(unix, unix + strlen(unix));
  HeapFree(GetProcessHeap(), 0, unix);
  return wide;
}

// Wine runs a Linux program it is asked to start; its process handle tells
// nothing, so callers look for the program's effect.
bool RunLinux(const std::vector<std::wstring>& args) {
  if (UnixName() == nullptr) return false;
  std::wstring command;
  for (const std::wstring& arg : args) {
    if (arg.empty() || arg.find(L'"') != std::wstring::npos) return false;
    command += (command.empty() ? L"\"" : L" \"") + arg + L"\"";
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring program = L"Z:" + args[0];
  std::replace(program.begin(), program.end(), L'/', L'\\');
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  if (process.hThread) CloseHandle(process.hThread);
  if (process.hProcess) CloseHandle(process.hProcess);
  return true;
}

// Whether the link is there: one to a file leads to it, one to a folder is
// listed with the reparse-point attribute, as Windows lists folder links.
bool Listed(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return true;
  WIN32_FIND_DATAW entry{};
  const HANDLE found = FindFirstFileW(path.c_str(), &entry);
  if (found == INVALID_HANDLE_VALUE) return false;
  FindClose(found);
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

LinuxLink::LinuxLink(const std::wstring& target, const std::wstring& link) : link_(link) {
  if (!RunLinux({L"/bin/ln", L"-s", UnixPath(target), UnixPath(link)})) return;
  for (int i = 0; i < 200 && !(made_ = Listed(link)); ++i) Sleep(50);
}

LinuxLink::~LinuxLink() {
  if (!made_ || !RunLinux({L"/bin/rm", UnixPath(link_)})) return;
  for (int i = 0; i < 200 && Exists(link_); ++i) Sleep(50);
}
