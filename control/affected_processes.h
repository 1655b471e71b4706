// The Restart Manager's list of the processes that use one library, kept in
// process-wide state for the shutdown's two passes.
#pragma once
#include <windows.h>
#include <restartmanager.h>

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int32_t kMaxAffectedProcesses = 100;  // a library with more users yields no list
constexpr size_t kImagePathChars = 1024;
constexpr DWORD kNoRestartManagerSession = static_cast<DWORD>(-1);

// Outside a library query: no session, count 0, array all zero.
struct RestartManagerState {
  DWORD session = kNoRestartManagerSession;
  WCHAR sessionKey[CCH_RM_SESSION_KEY + 1] = {};
  RM_PROCESS_INFO processes[kMaxAffectedProcesses] = {};
  int32_t count = 0;
};
RestartManagerState& AffectedProcessState();

// Starts a session, registers the one library and lists its users; returns
// the number listed, 0 when any of the calls fails (ERROR_MORE_DATA included).
int32_t ListLibraryUsers(const std::wstring& libraryPath);

// Ends the session if there is one and clears the list.
void EndLibraryQuery();

// Clears `buffer`; 0 when `index` is not in the list, else 1, with the
// process's image path (NT device form) in `buffer`, or empty when the process
// cannot be opened or its path cannot be read.
int GetAffectedProcessImage(int32_t index, wchar_t (&buffer)[kImagePathChars]);

// Terminates the listed process at `index`: by its id, only while that id
// still names the process listed (same start time), never this process, with
// no more rights than termination needs; then gives it time to go. False when
// it was not terminated.
bool TerminateAffectedProcess(int32_t index);

// Shows the system's text for `error` in a box with an empty caption, but only
// when a user is there to close it; returns whether it was shown.
bool ReportImageReadFailure(DWORD error);
