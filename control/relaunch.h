// Start of the TV-recording application after the update.
#pragma once
#include <windows.h>

#include <string>

// The application's executable under the Program Files folder last read by
// GetProgramFilesFolder.
std::wstring TvRecorderPath();

// How the application was started again, or why not.
struct RelaunchResult {
  bool started = false;
  std::wstring how;  // the route taken, or each route's failure
};

// Starts `path` as the signed-in user whose desktop shell runs as the process
// `shellProcessId` (0: no shell): with that process's token, else through
// the shell itself. Never as the updater runs.
RelaunchResult StartAsSignedInUser(const std::wstring& path, DWORD shellProcessId);

// Starts `path` as the user signed in at the console; for a run as the system account.
RelaunchResult StartAsConsoleSessionUser(const std::wstring& path);

// Starts the application hidden, without parameters, in its own folder and
// without waiting for it, only ever as the signed-in user: it is not started
// where no route to that user works. False when its file is missing or it was
// not started; the trace says why.
bool RelaunchTvRecorder();
