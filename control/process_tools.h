// Running processes and the Program Files folder, shared by the steps that
// close and restart the maker's programs.
#pragma once
#include <string>

// True when a running process's executable name equals `name` exactly (case included).
bool IsProcessRunning(const wchar_t* name);

// Reads the Program Files folder (CSIDL_PROGRAM_FILES, no trailing backslash)
// into the process-wide text, empty on failure; returns whether it was found.
bool GetProgramFilesFolder();
const std::wstring& ProgramFilesFolder();
