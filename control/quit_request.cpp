#include "control/quit_request.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "control/portable/bounded_wait.h"
#include "control/process_tools.h"
#include "control/program_start.h"
#include "control/tick_clock.h"

namespace {

// The longest time given to the running instance to close after it was told
// to, and how often it is looked for meanwhile.
constexpr DWORD kAfterQuitRequestMs = 5000;
constexpr DWORD kQuitPollMs = 100;

}  // namespace

QuitResult AskProgramToQuit(const wchar_t* path, const wchar_t* quitSwitch) {
  if (path == nullptr || *path == L'\0' || !PathFileExistsW(path)) return {QuitOutcome::kFileNotFound};
  const std::wstring program = path;
  // A program of the same name started from anywhere else is not the
  // product's: only a process of this very file is asked to quit.
  if (!IsProgramRunning(program)) return {QuitOutcome::kNotRunning};
  const DWORD error = StartProgramHidden(program, quitSwitch);
  if (error != ERROR_SUCCESS) return {QuitOutcome::kNotStarted, error};
  // The quit instance runs from the same file: both are gone when none runs.
  TickClock clock;
  const bool ended = WaitUntil(clock, [&] { return !IsProgramRunning(program); }, kAfterQuitRequestMs, kQuitPollMs);
  return {ended ? QuitOutcome::kEnded : QuitOutcome::kStillRunning};
}

const wchar_t* QuitOutcomeText(QuitOutcome outcome) {
  switch (outcome) {
    case QuitOutcome::kFileNotFound:
      return L"file not found";
    case QuitOutcome::kNotRunning:
      return L"not running";
    case QuitOutcome::kNotStarted:
      return L"could not be started";
    case QuitOutcome::kEnded:
      return L"asked to quit and ended";
    case QuitOutcome::kStillRunning:
      break;
  }
  return L"asked to quit and still running after the wait";
}
