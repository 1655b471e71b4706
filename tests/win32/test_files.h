// File fixtures for tests: whole files written and read back, and scratch
// folders removed with everything in them at the end of a test.
#pragma once
#include <windows.h>

#include <string>

void WriteTestFile(const std::wstring& path, const std::string& content);
std::string ReadTestFile(const std::wstring& path);  // empty when it cannot be read
bool PathExists(const std::wstring& path);
std::wstring TempFolder();                          // with a trailing backslash
std::wstring SpecialFolderPath(int csidl);

// Made writable and removed, whatever is inside (the tests' own walk, not the code under test).
void RemoveTestTree(const std::wstring& folder);

// A folder (made with its parents) that is removed with its contents when the test ends.
class ScopedFolder {
 public:
  explicit ScopedFolder(std::wstring path);
  ~ScopedFolder();
  ScopedFolder(const ScopedFolder&) = delete;
  ScopedFolder& operator=(const ScopedFolder&) = delete;
  const std::wstring& Path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};
