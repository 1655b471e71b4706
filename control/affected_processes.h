// The Restart Manager's list of the processes that use one library, kept in
// process-wide state for the shutdown's two passes.
#pragma once
#include <windows.h>
#include <restartmanager.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "control/portable/process_routing.h"

constexpr int32_t kMaxAffectedProcesses = 100;  // a library with more users yields no list
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

// The kind and image path of the listed process at `index`, its image read
// with limited query rights; `error` is ERROR_SUCCESS, ERROR_INVALID_INDEX for
// an index outside the list, or the error of opening the process or reading
// its path (the path then stays empty).
ListedProcess ReadAffectedProcess(int32_t index, DWORD& error);

// Terminates the listed process at `index`: by its id, only while that id
// still names the process listed (same start time), never this process, with
// no more rights than termination needs; then gives it time to go. False when
// it was not terminated.
bool TerminateAffectedProcess(int32_t index);
