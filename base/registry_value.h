// Reading a registry value whole: its type and its bytes.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct RegistryValue {
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;  // exactly the size the registry reported
};

// Asks for the type and size first, then reads that many bytes.
std::optional<RegistryValue> QueryRegistryValue(HKEY key, const wchar_t* name);
// The same, with the status of the read that failed (ERROR_FILE_NOT_FOUND
// for a value that is missing).
LONG ReadRegistryValue(HKEY key, const wchar_t* name, RegistryValue& value);

// The text of a REG_SZ or REG_EXPAND_SZ value as stored (not expanded), up to
// its first zero character; empty for any other type. An odd size is rounded
// down and a missing terminator supplied.
std::wstring RegistryText(const RegistryValue& value);

// Opens `subKey` under HKEY_LOCAL_MACHINE and returns its text value `name`; empty when absent.
std::wstring ReadMachineText(const wchar_t* subKey, const wchar_t* name, REGSAM access);
