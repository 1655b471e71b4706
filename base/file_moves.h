// The moves of installed files that the update and its recovery make: each
// rename written through to the disk, and what cannot be done now left to
// Windows for the next restart.
#pragma once
#include <windows.h>

#include <string>

// Renames `from` to `to` (never over an existing file), written through.
bool RenameWrittenThrough(const std::wstring& from, const std::wstring& to);

// Deletes the file; one that is mapped (a running program, a loaded
// library) goes at the next restart instead.
void DeleteNowOrAtRestart(const std::wstring& path);

// Has Windows move the old file `aside` over `destination` at the next restart.
void PutBackAtRestart(const std::wstring& aside, const std::wstring& destination);
