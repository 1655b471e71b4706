// Expansion of one SZDD file into another with our own streaming expander.
#pragma once
#include <windows.h>

#include <string>

// Expands the SZDD file `compressed` into `expanded` (created or truncated).
// S_OK on success; 0x8007006E when either file cannot be opened or the data
// does not expand (some output may then have been written).
HRESULT ExpandFile(const std::wstring& compressed, const std::wstring& expanded);
