// Registry fixtures for tests: keys under HKEY_LOCAL_MACHINE that a test sets
// up and removes again (the prefix outlives each test process).
#pragma once
#include <windows.h>

#include <string>

class ScopedMachineKey {
 public:
  // Removes any earlier copy of the key (and its subkeys) and creates it anew.
  explicit ScopedMachineKey(const std::wstring& path, REGSAM view = 0);
  ~ScopedMachineKey();
  ScopedMachineKey(const ScopedMachineKey&) = delete;
  ScopedMachineKey& operator=(const ScopedMachineKey&) = delete;

  void SetDword(const wchar_t* name, DWORD value) const;
  void SetString(const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ) const;
  void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) const;

 private:
  std::wstring path_;
  REGSAM view_;
  HKEY key_ = nullptr;
};

void DeleteMachineKey(const std::wstring& path, REGSAM view = 0);

// A file in the temporary folder, removed at the end of the test.
class ScopedTempFile {
 public:
  ScopedTempFile(const std::wstring& name, const std::string& content);
  ~ScopedTempFile();
  ScopedTempFile(const ScopedTempFile&) = delete;
  ScopedTempFile& operator=(const ScopedTempFile&) = delete;
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};
