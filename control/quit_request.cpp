#include "control/quit_request.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "control/process_routing.h"
#include "control/process_tools.h"

namespace {

// Time given to the running instance to close after it was told to.
constexpr DWORD kAfterQuitRequestMs = 5000;

}  // namespace

bool AskProgramToQuit(const wchar_t* path, const wchar_t* quitSwitch) {
  if (path == nullptr || *path == L'\0') return false;
  if (!PathFileExistsW(path)) return false;
  if (!IsProcessRunning(ExecutableNameOf(path).c_str())) return false;
  const bool started = StartProgramHidden(path, quitSwitch);
  Sleep(kAfterQuitRequestMs);
  return started;
}
