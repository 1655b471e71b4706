// The registry snapshot as it is kept in the journal's folder.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct SnapshotValue {
  std::wstring name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

struct SnapshotKey {
  uint32_t view = 0;     // the registry view's access flag: 0, 0x100 (64-bit) or 0x200 (32-bit)
  std::wstring path;     // below HKEY_LOCAL_MACHINE
  bool existed = false;  // false: made by the update, deleted on restore
  std::vector<SnapshotValue> values;  // all its values as they were (none when it did not exist)
};

struct RegistrySnapshot {
  std::vector<SnapshotKey> keys;
};

// A self-checking encoding: DecodeRegistrySnapshot fails on any byte changed or missing.
std::string EncodeRegistrySnapshot(const RegistrySnapshot& snapshot);
bool DecodeRegistrySnapshot(const std::string& bytes, RegistrySnapshot& snapshot);
