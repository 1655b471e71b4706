// Version resources of files, read with the system folder's version.dll.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

// The whole version resource of `path`; empty when it has none or cannot be read.
std::vector<uint8_t> ReadVersionResource(const wchar_t* path);

// VerQueryValueW on a block read by ReadVersionResource; false when the value is missing.
bool QueryVersionValue(std::vector<uint8_t>& block, const wchar_t* subBlock, void** value, UINT* length);
