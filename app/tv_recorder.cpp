#include "app/tv_recorder.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdlib>
#include <string>

#include "app/message_box.h"
#include "base/messages.h"
#include "base/module_state.h"
#include "base/portable/outcome.h"
#include "base/trace.h"
#include "control/portable/bounded_wait.h"
#include "control/process_tools.h"
#include "control/program_start.h"
#include "control/tick_clock.h"
#include "control/relaunch.h"

namespace {

constexpr wchar_t kTvRecorderExe[] = L"Kestrav.exe";
// The recording application may take its time to end a recording: it is
// looked for often, for at most a minute.
constexpr DWORD kQuitWaitMs = 60000;
constexpr DWORD kQuitCheckIntervalMs = 250;

}  // namespace

void CloseTvRecorder() {
  if (!IsProcessRunning(kTvRecorderExe)) return;
  GetProgramFilesFolder();
  const std::wstring path = TvRecorderPath();
  if (!PathFileExistsW(path.c_str())) return;

  // A recording in progress is never ended unattended: a silent run, which
  // nobody could answer, takes the question as declined.
  if (IsSilent()) {
    Trace(L"check: the recording application runs; not ended unattended: exit code 0x00000001");
    std::exit(1);
  }
  if (ShowMessageBox(LoadMessage(outcome::kMsgCloseTvRecorder), outcome::kBoxYesNoExclamation) != IDYES) {
    Trace(L"check: the recording application runs; the user declined to end it: exit code 0x00000001");
    ShowMessageBox(LoadMessage(outcome::kMsgCancelled), outcome::kBoxOk);
    std::exit(1);
  }
  Trace(L"program: recording application asked to quit");

  if (StartProgramHidden(path, L"/q") == ERROR_SUCCESS) {
    TickClock clock;
    WaitUntil(clock, [] { return !IsProcessRunning(kTvRecorderExe); }, kQuitWaitMs, kQuitCheckIntervalMs);
  }
  SetTvRecorderRelaunchPending(true);
}
