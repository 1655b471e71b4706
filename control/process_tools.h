// Running processes and the Program Files folder, shared by the steps that
// close and restart the maker's programs.
#pragma once
#include <windows.h>

#include <string>

// True when a running process's executable name equals `name` exactly (case included).
bool IsProcessRunning(const wchar_t* name);

// Terminates, one after the other, every process whose executable name equals
// `name` exactly, each with the exit code it reports (so its own code stays),
// and waits 2 s after each. False when a termination failed (the walk stops
// there) or for a null name; true otherwise, also when none matched.
bool TerminateProcessesByName(const wchar_t* name);

// Terminates an open process with the exit code it reports (so its own code
// stays) and waits 2 s for it to go; false when it could not be terminated.
bool TerminateAndWait(HANDLE process);

// The folder part of `path` (before its last separator); empty when there is none.
std::wstring FolderOf(const std::wstring& path);

// Starts `path` hidden through the shell ("open", its own folder as the
// current folder, no owner window, no error box), with `parameters` or none;
// does not wait for it.
bool StartProgramHidden(const wchar_t* path, const wchar_t* parameters);

// Reads the Program Files folder (CSIDL_PROGRAM_FILES, no trailing backslash)
// into the process-wide text, empty on failure; returns whether it was found.
bool GetProgramFilesFolder();
const std::wstring& ProgramFilesFolder();
