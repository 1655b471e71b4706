// copy_floor: copies each "SOURCE<TAB>DESTINATION" line of a UTF-8 list file
// with CopyFileW and prints how long the copies took. The whole-run benchmark
// runs it on the payload's files and destinations: no update can replace the
// same bytes faster than a plain copy of them.
//
//   copy_floor.exe LIST [RESULT]
//
// RESULT, when given, receives the milliseconds of the copies alone (the
// harness does not see the program's standard output).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/win32_raii.h"

namespace {

std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(length, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

bool ReadList(const wchar_t* path, std::string& text) {
  UniqueFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  text.resize(GetFileSize(file.Get(), nullptr));
  DWORD read = 0;
  return ReadFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr) && read == text.size();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: copy_floor.exe LIST [RESULT]\n");
    return 2;
  }
  std::string text;
  if (!ReadList(argv[1], text)) {
    std::fprintf(stderr, "copy_floor: cannot read the list\n");
    return 2;
  }
  std::vector<std::pair<std::wstring, std::wstring>> copies;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) copies.emplace_back(Widen(line.substr(0, tab)), Widen(line.substr(tab + 1)));
    start = end + 1;
  }
  const ULONGLONG began = GetTickCount64();
  unsigned long long bytes = 0;
  for (const auto& [source, destination] : copies) {
    if (!CopyFileW(source.c_str(), destination.c_str(), FALSE)) {
      std::fprintf(stderr, "copy_floor: copy to %ls failed: %lu\n", destination.c_str(), GetLastError());
      return 1;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(destination.c_str(), GetFileExInfoStandard, &data)) bytes += data.nFileSizeLow;
  }
  const ULONGLONG elapsed = GetTickCount64() - began;
  std::printf("copied %u files, %llu bytes in %llu ms\n", static_cast<unsigned>(copies.size()), bytes, elapsed);
  if (argc == 3) {
    UniqueFileHandle result(CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%llu", elapsed);
    DWORD written = 0;
    if (!result || !WriteFile(result.Get(), text, static_cast<DWORD>(length), &written, nullptr)) return 1;
  }
  return 0;
}
