// Expansion of SZDD data with our own streaming expander.
#pragma once
#include <windows.h>

#include <string>

// Expands the SZDD file `compressed` into `expanded` (created or truncated).
// S_OK on success; 0x8007006E when either file cannot be opened or the data
// does not expand (some output may then have been written).
HRESULT ExpandFile(const std::wstring& compressed, const std::wstring& expanded);

// Expands the SZDD data in memory (a locked resource) into the open file
// `target`. S_OK on success; 0x8007006E when the data does not expand or the
// file cannot be written (some output may then have been written).
HRESULT ExpandIntoFile(const void* data, size_t size, HANDLE target);
