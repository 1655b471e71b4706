#include "test_registry.h"

#include <gtest/gtest.h>

void DeleteMachineKey(const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  const size_t slash = path.rfind(L'\\');
  const std::wstring parent = path.substr(0, slash);
  const std::wstring leaf = path.substr(slash + 1);
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, parent.c_str(), 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
    RegDeleteTreeW(key, leaf.c_str());
    RegCloseKey(key);
  }
}

ScopedMachineKey::ScopedMachineKey(const std::wstring& path, REGSAM view) : path_(path), view_(view) {
  DeleteMachineKey(path_, view_);
  const LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_,
                                      nullptr, &key_, nullptr);
  EXPECT_EQ(status, ERROR_SUCCESS) << "cannot create the test key";
}

ScopedMachineKey::~ScopedMachineKey() {
  if (key_ != nullptr) RegCloseKey(key_);
  DeleteMachineKey(path_, view_);
}

void ScopedMachineKey::SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) const {
  ASSERT_EQ(RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

void ScopedMachineKey::SetDword(const wchar_t* name, DWORD value) const {
  SetRaw(name, REG_DWORD, &value, sizeof value);
}

void ScopedMachineKey::SetString(const wchar_t* name, const std::wstring& value, DWORD type) const {
  SetRaw(name, type, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

ScopedTempFile::ScopedTempFile(const std::wstring& name, const std::string& content) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  path_ = std::wstring(folder) + name;
  const HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
}

ScopedTempFile::~ScopedTempFile() { DeleteFileW(path_.c_str()); }
