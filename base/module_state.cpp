#include "base/module_state.h"

#include <string>

namespace {

struct ProcessState {
  HINSTANCE module = nullptr;
  std::wstring caption;
  bool silent = false;
  bool relaunchTvRecorder = false;
};

ProcessState& State() {
  static ProcessState state;
  return state;
}

}  // namespace

HINSTANCE ModuleInstance() { return State().module; }
void SetModuleInstance(HINSTANCE instance) { State().module = instance; }
const wchar_t* Caption() { return State().caption.c_str(); }
void SetCaption(const wchar_t* caption) { State().caption = caption ? caption : L""; }
bool IsSilent() { return State().silent; }
void SetSilent(bool silent) { State().silent = silent; }
bool TvRecorderRelaunchPending() { return State().relaunchTvRecorder; }
void SetTvRecorderRelaunchPending(bool pending) { State().relaunchTvRecorder = pending; }
