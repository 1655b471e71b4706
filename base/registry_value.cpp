#include "base/registry_value.h"

#include "base/win32_raii.h"

LONG ReadRegistryValue(HKEY key, const wchar_t* name, RegistryValue& value) {
  DWORD size = 0;
  LONG status = RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size);
  if (status != ERROR_SUCCESS) return status;
  value.data.resize(size);
  if (size > 0) {
    DWORD read = size;
    status = RegQueryValueExW(key, name, nullptr, &value.type, value.data.data(), &read);
    if (status != ERROR_SUCCESS) return status;
    value.data.resize(read);
  }
  return ERROR_SUCCESS;
}

std::optional<RegistryValue> QueryRegistryValue(HKEY key, const wchar_t* name) {
  RegistryValue value;
  if (ReadRegistryValue(key, name, value) != ERROR_SUCCESS) return std::nullopt;
  return value;
}

std::wstring RegistryText(const RegistryValue& value) {
  if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return std::wstring();
  const size_t units = value.data.size() / 2;
  std::wstring text;
  for (size_t i = 0; i < units; ++i) {
    const wchar_t c = static_cast<wchar_t>(value.data[2 * i] | (value.data[2 * i + 1] << 8));
    if (c == L'\0') break;
    text += c;
  }
  return text;
}

std::wstring ReadMachineText(const wchar_t* subKey, const wchar_t* name, REGSAM access) {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, access, key.Receive()) != ERROR_SUCCESS) return std::wstring();
  const auto value = QueryRegistryValue(key.Get(), name);
  return value ? RegistryText(*value) : std::wstring();
}
