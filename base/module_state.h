// Process-wide state of one run, written by the entry and the prepare phase.
#pragma once
#include <windows.h>

// The program's module instance: every resource read uses it.
HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

// The caption of every message box (message 200), loaded once at start.
const wchar_t* Caption();
void SetCaption(const wchar_t* caption);

// Silent mode, read once at start by the entry.
bool IsSilent();
void SetSilent(bool silent);

// Set when the TV-recording application was asked to close before the session;
// the finish phase then has it started again.
bool TvRecorderRelaunchPending();
void SetTvRecorderRelaunchPending(bool pending);

// Whether each component service was running when the prepare phase looked.
enum ComponentService { kServiceQVLDms = 0, kServiceQVLCImp = 1, kServiceQVLDs = 2, kServiceCount = 3 };
bool ServiceWasRunning(ComponentService service);
void SetServiceWasRunning(ComponentService service, bool running);
