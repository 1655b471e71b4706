// Runs the TV-recording step of the entry on its own, so that scenarios can
// drive its question under Wine (the updater reaches the step only when the
// install list has rows). When the step returns the exit code tells the
// relaunch flag: 2 set, 0 clear; the step itself ends the process with 1 when
// the user declines.
#include <windows.h>

#include "base/messages.h"
#include "base/module_state.h"
#include "app/silent_mode.h"
#include "app/tv_recorder.h"

int main() {
  SetModuleInstance(GetModuleHandleW(nullptr));
  SetCaption(LoadMessage(200).c_str());
  SetSilent(IsLaunchedByUpdateTool());
  CloseTvRecorder();
  return TvRecorderRelaunchPending() ? 2 : 0;
}
