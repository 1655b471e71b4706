#include "call_log.h"

#include <windows.h>

#include <cstdio>
#include <cwctype>

#include "base/win32_raii.h"
#include "helper_common.h"  // from tests/wine/helpers

extern "C" IMAGE_DOS_HEADER __ImageBase;  // this library's own module

namespace qvldb_standin {

std::wstring LibraryFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), &path[0],
                                 static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

std::wstring Setting(const wchar_t* key) {
  std::wstring env = L"QVLDB_";
  for (const wchar_t* c = key; *c != L'\0'; ++c) env += static_cast<wchar_t>(std::towupper(*c));
  DWORD size = GetEnvironmentVariableW(env.c_str(), nullptr, 0);
  if (size > 0) {
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(env.c_str(), &value[0], size));
    return value;
  }
  const std::wstring ini = LibraryFolder() + L"\\qvldb.ini";
  std::wstring value(1024, L'\0');
  value.resize(GetPrivateProfileStringW(L"StandIn", key, L"", &value[0], static_cast<DWORD>(value.size()),
                                        ini.c_str()));
  return value;
}

std::string Field(const char* key, const std::wstring& text) {
  return std::string(", \"") + key + "\": " + helper::JsonString(text);
}

std::string Field(const char* key, long long number) {
  return std::string(", \"") + key + "\": " + std::to_string(number);
}

std::string Field(const char* key, bool flag) {
  return std::string(", \"") + key + "\": " + (flag ? "true" : "false");
}

std::string AddressField(const char* key, const void* address) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(address)));
  return std::string(", \"") + key + "\": \"" + text + "\"";
}

void LogCall(const char* member, const std::string& fields) {
  const std::wstring path = LibraryFolder() + L"\\qvldb.log";
  UniqueFileHandle log(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!log) return;
  const std::string line = std::string("{\"call\": \"") + member + "\"" + fields +
                           Field("pid", static_cast<long long>(GetCurrentProcessId())) +
                           Field("tick", static_cast<long long>(GetTickCount())) + "}\r\n";
  helper::WriteAll(log.Get(), line);
}

}  // namespace qvldb_standin
