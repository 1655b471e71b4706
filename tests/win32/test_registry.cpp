#include "test_registry.h"

#include <gtest/gtest.h>

#include <algorithm>

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

namespace {

std::wstring Upper(std::wstring text) {
  CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

}  // namespace

MachineKeyState ReadMachineKeyState(const std::wstring& path, REGSAM view) {
  MachineKeyState state;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return state;
  state.exists = true;
  std::vector<wchar_t> name(16384);
  std::vector<uint8_t> data(1 << 16);
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LONG status = RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size);
    if (status != ERROR_SUCCESS) {
      EXPECT_EQ(status, ERROR_NO_MORE_ITEMS) << "a value of the test's keys could not be read";
      break;
    }
    state.values[Upper(std::wstring(name.data(), nameLength))] = {type,
                                                                  std::vector<uint8_t>(data.begin(), data.begin() + size)};
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key, i, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    state.subkeys.push_back(Upper(std::wstring(name.data(), nameLength)));
  }
  std::sort(state.subkeys.begin(), state.subkeys.end());
  RegCloseKey(key);
  return state;
}

std::wstring FirstDifference(const std::map<std::wstring, MachineKeyState>& before,
                             const std::map<std::wstring, MachineKeyState>& after) {
  for (const auto& [path, state] : before) {
    const auto found = after.find(path);
    if (found == after.end()) return path + L": not read again";
    const MachineKeyState& now = found->second;
    if (state.exists != now.exists) return path + (state.exists ? L": gone" : L": made");
    if (state.subkeys != now.subkeys) return path + L": other subkeys";
    for (const auto& [name, value] : state.values) {
      const auto other = now.values.find(name);
      if (other == now.values.end()) return path + L": value \"" + name + L"\" gone";
      if (other->second != value) return path + L": value \"" + name + L"\" changed";
    }
    for (const auto& [name, value] : now.values) {
      if (state.values.count(name) == 0) return path + L": value \"" + name + L"\" added";
    }
  }
  return std::wstring();
}
