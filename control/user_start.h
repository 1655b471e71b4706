// Starting a program as a signed-in user rather than as the updater runs
// (elevated, or as the system account).
#pragma once
#include <windows.h>

#include <string>

// True when this process runs as the system account (a service, a deployment tool).
bool RunsAsSystemAccount();

// Starts `path` with the token of the process `processId`, hidden, in its own
// folder, without waiting for it: the program runs as that process's user.
// ERROR_SUCCESS, or the error of the step that failed (ERROR_INVALID_PARAMETER
// for process id 0).
DWORD StartAsUserOfProcess(DWORD processId, const std::wstring& path);

// Starts `path` hidden as the user signed in at the console, on that user's
// desktop, from the system account. ERROR_SUCCESS, or the error of the step
// that failed (ERROR_NO_SUCH_LOGON_SESSION when nobody is signed in there).
DWORD StartAsConsoleUser(const std::wstring& path);
