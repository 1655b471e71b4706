// Start of the TV-recording application after the update.
#pragma once
#include <windows.h>

#include <string>

// The application's executable under the Program Files folder last read by
// GetProgramFilesFolder.
std::wstring TvRecorderPath();

// Starts `path` with the token of the process `processId`, hidden, in its own
// folder, without waiting for it: the program runs as that process's user,
// not elevated like the updater. False when the token cannot be had or used.
bool StartAsUserOfProcess(DWORD processId, const std::wstring& path);

// Starts the application hidden, without parameters, in its own folder and
// without waiting for it: as the signed-in user (with the token of the
// desktop shell's process), or as the updater runs where there is no shell.
// False when its file is missing or the start failed.
bool RelaunchTvRecorder();
