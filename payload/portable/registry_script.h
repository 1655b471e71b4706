// The keys and values of a registry script as the registry editor imports
// them ("Windows Registry Editor Version 5.00" text), so that the update can
// save what the import will change and check afterwards what it did.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ScriptValue {
  std::wstring name;            // empty for the default value ("@")
  uint32_t type = 0;            // REG_SZ 1, REG_EXPAND_SZ 2, REG_BINARY 3, REG_DWORD 4, REG_MULTI_SZ 7, ...
  std::vector<uint8_t> data;    // as the registry holds it (strings UTF-16LE with their terminator)
};

struct ScriptKey {
  std::wstring path;            // below HKEY_LOCAL_MACHINE, without the root: "SOFTWARE\Classes\..."
  std::vector<ScriptValue> values;
};

struct ParsedScript {
  bool ok = false;
  std::wstring error;           // what did not parse, and on which line
  std::vector<ScriptKey> keys;  // in the script's order
};

// Parses the script (ASCII or UTF-16LE with its mark). Only keys under
// HKEY_LOCAL_MACHINE are accepted: anything else, a key deletion or a
// value deletion makes `ok` false.
ParsedScript ParseRegistryScript(const std::vector<uint8_t>& text);
