// Shows the progress window of a session whose work takes a few seconds, so
// that scenarios can take a screenshot of it and see where it lands. Prints
// the window's rectangle and exits with the session's result.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "base/messages.h"
#include "base/module_state.h"
#include "app/patch_process.h"

namespace {

CPatchProcess* g_process = nullptr;
DWORD g_holdMs = 3000;

HRESULT HoldTheWindow(HRESULT, HANDLE, const InstallList*, PatchContext*) {
  RECT rect{};
  GetWindowRect(g_process->ProgressWindow(), &rect);
  std::printf("window=%ld,%ld,%ld,%ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  std::fflush(stdout);
  Sleep(g_holdMs);
  return S_OK;
}

HRESULT NoInstall(const InstallList&, HINSTANCE, HANDLE) { return S_OK; }

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) g_holdMs = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
  SetModuleInstance(GetModuleHandleW(nullptr));
  SetCaption(LoadMessage(200).c_str());
  CPatchProcess process({HoldTheWindow, NoInstall, nullptr});
  g_process = &process;
  PatchContext context;
  return process.Run(InstallList{}, &context, Caption(), GetModuleHandleW(nullptr));
}
