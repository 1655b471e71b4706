// Running processes and the Program Files folder, shared by the steps that
// close and restart the maker's programs.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "control/portable/shutdown_steps.h"

// True when a running process's executable name equals `name` exactly (case included).
bool IsProcessRunning(const wchar_t* name);

// The running processes whose executable name is `name` (as Windows compares
// file names), each with its start time and full image path, read with no
// more than limited query rights; the path stays empty for a process that
// cannot be opened.
std::vector<RunningProcess> ProcessesNamed(const std::wstring& name);

// True when a process runs whose image is the file at `path`.
bool IsProgramRunning(const std::wstring& path);

// The full Win32 path of an open process's image; ERROR_SUCCESS or the error.
DWORD ReadProcessImage(HANDLE process, std::wstring& imagePath);

// A FILETIME as one number of 100 ns units.
uint64_t FileTimeValue(const FILETIME& time);

// When an open process started (FILETIME units); 0 when it cannot be read.
uint64_t ProcessStartTime(HANDLE process);

// Terminates the process `processId` only while that id still names the
// process that started at `startTime`, never this process, opened with no
// more rights than termination needs; false when it was not terminated.
bool TerminateIdentifiedProcess(DWORD processId, uint64_t startTime);

// Terminates an open process with the exit code it reports (so its own code
// stays) and waits 2 s for it to go; false when it could not be terminated.
bool TerminateAndWait(HANDLE process);

// The folder part of `path` (before its last separator); empty when there is none.
std::wstring FolderOf(const std::wstring& path);

// Reads the Program Files folder (CSIDL_PROGRAM_FILES, no trailing backslash)
// into the process-wide text, empty on failure; returns whether it was found.
bool GetProgramFilesFolder();
const std::wstring& ProgramFilesFolder();
