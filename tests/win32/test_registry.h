// Registry fixtures for tests: keys under HKEY_LOCAL_MACHINE that a test sets
// up and removes again (the prefix outlives each test process).
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// What WOW64 gives the shipped 32-bit program (the 32-bit registry view as its
// own, the 32-bit Program Files, IsWow64Process) has no subject in the 64-bit
// test build, whose process sees the native views: such tests skip there.
#define SKIP_IN_64_BIT_PROCESS()                                                              \
  do {                                                                                        \
    if (sizeof(void*) == 8) {                                                                 \
      GTEST_SKIP() << "a 64-bit process sees the native registry view and folders, not the " \
                      "ones WOW64 gives the shipped 32-bit program";                          \
    }                                                                                         \
  } while (0)

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

// A key under HKEY_LOCAL_MACHINE as a test sees it: whether it exists, its
// values (by upper-case name) with their types and bytes, and the names of
// its subkeys (upper case), read with plain enumeration.
struct MachineKeyState {
  bool exists = false;
  std::map<std::wstring, std::pair<DWORD, std::vector<uint8_t>>> values;
  std::vector<std::wstring> subkeys;
  bool operator==(const MachineKeyState& other) const {
    return exists == other.exists && values == other.values && subkeys == other.subkeys;
  }
};
MachineKeyState ReadMachineKeyState(const std::wstring& path, REGSAM view);

// The first difference between two readings of the same keys, for a message;
// empty when there is none.
std::wstring FirstDifference(const std::map<std::wstring, MachineKeyState>& before,
                             const std::map<std::wstring, MachineKeyState>& after);

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
