// The run's trace for administrators: one line per step, sent as debug
// output, which a debugger or a debug-output viewer shows (under Wine:
// WINEDEBUG=warn+debugstr on standard error). The updater writes no log file;
// in silent mode this and the exit code are all there is to read.
//
// The trace is off unless a debugger is attached or an administrator set the
// switch below, and even then no line is ever waited for: the lines are sent
// by a thread of their own, so that a viewer that never reads (any program of
// the session can pose as one) cannot stall the update.
#pragma once

// HKEY_LOCAL_MACHINE (64-bit view on 64-bit Windows); a REG_DWORD other than 0 turns the trace on.
constexpr const wchar_t* kTraceSwitchKey = L"SOFTWARE\\Orvane Corporation\\Mirevo Updater";
constexpr const wchar_t* kTraceSwitchValue = L"Trace";

// Whether lines are written: the switch, read once, or a debugger attached now.
bool TraceEnabled();

// printf-style text (wide), one line; "<program file name>: " goes before it.
void Trace(const wchar_t* format, ...);
