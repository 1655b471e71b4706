// Asking one of the maker's programs to end itself with its quit switch.
#pragma once
#include <windows.h>

enum class QuitOutcome {
  kFileNotFound,   // no file at the path (or no path): nothing started
  kNotRunning,     // no process runs from that file: nothing started
  kNotStarted,     // the quit request could not be started (see `error`)
  kEnded,          // asked to quit, and gone within the wait
  kStillRunning,   // asked to quit, and still running after the wait
};

struct QuitResult {
  QuitOutcome outcome;
  DWORD error = ERROR_SUCCESS;  // kNotStarted: the error of the start
};

// When the file at `path` exists and a process runs from it, starts the file
// with `quitSwitch` and waits until no process runs from it, at most 5 s. A
// request that could not be started is not waited for.
QuitResult AskProgramToQuit(const wchar_t* path, const wchar_t* quitSwitch);

// The words of a trace line for the result: "asked to quit and ended", ...
const wchar_t* QuitOutcomeText(QuitOutcome outcome);
