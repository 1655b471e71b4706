// The run's trace for administrators: one line per step, sent as debug
// output, which costs nothing when nobody listens and which a debug-output
// viewer shows (under Wine: WINEDEBUG=+debugstr on standard error). The
// updater writes no log file; in silent mode this and the exit code are all
// there is to read.
#pragma once

// printf-style text (wide), one line; "<program file name>: " goes before it.
void Trace(const wchar_t* format, ...);
