// Version resources of files, read with the system folder's version.dll, and
// the one of a module already mapped into this process.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

// The whole version resource of `path`; empty when it has none or cannot be read.
std::vector<uint8_t> ReadVersionResource(const wchar_t* path);

// VerQueryValueW on a block read by ReadVersionResource; false when the value is missing.
bool QueryVersionValue(std::vector<uint8_t>& block, const wchar_t* subBlock, void** value, UINT* length);

// A copy of the version resource of the mapped `module`, as the loader mapped
// it when the process started: later changes to the module's file do not show.
// Empty when it has none.
std::vector<uint8_t> ReadMappedVersionResource(HMODULE module);
