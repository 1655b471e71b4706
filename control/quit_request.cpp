#include "control/quit_request.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "control/process_routing.h"
#include "control/bounded_wait.h"
#include "control/process_tools.h"
#include "control/tick_clock.h"

namespace {

// The longest time given to the running instance to close after it was told
// to, and how often it is looked for meanwhile.
constexpr DWORD kAfterQuitRequestMs = 5000;
constexpr DWORD kQuitPollMs = 100;

}  // namespace

bool AskProgramToQuit(const wchar_t* path, const wchar_t* quitSwitch) {
  if (path == nullptr || *path == L'\0') return false;
  if (!PathFileExistsW(path)) return false;
  if (!IsProcessRunning(ExecutableNameOf(path).c_str())) return false;
  const std::wstring name = ExecutableNameOf(path);
  const bool started = StartProgramHidden(path, quitSwitch);
  // The quit instance carries the same name: both are gone when none runs.
  TickClock clock;
  WaitUntil(clock, [&] { return !IsProcessRunning(name.c_str()); }, kAfterQuitRequestMs, kQuitPollMs);
  return started;
}
