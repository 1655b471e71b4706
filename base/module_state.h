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
