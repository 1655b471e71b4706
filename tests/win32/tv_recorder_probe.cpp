// Runs the TV-recording step of the entry on its own, so that scenarios can
// drive its question under Wine (the updater reaches the step only when the
// install list has rows). Exits 0 and prints the relaunch flag when the step
// returns; the step itself ends the process with 1 when the user declines.
#include <windows.h>

#include <cstdio>

#include "app/messages.h"
#include "app/module_state.h"
#include "app/silent_mode.h"
#include "app/tv_recorder.h"

int main() {
  SetModuleInstance(GetModuleHandleW(nullptr));
  SetCaption(LoadMessage(200).c_str());
  SetSilent(IsLaunchedByUpdateTool());
  CloseTvRecorder();
  std::printf("relaunch=%d\n", TvRecorderRelaunchPending() ? 1 : 0);
  return 0;
}
