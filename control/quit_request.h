// Asking one of the maker's programs to end itself with its quit switch.
#pragma once

// Starts the program at `path` with `quitSwitch` when the file exists and a
// process of its executable name runs, then waits (whether or not the start
// worked) until no process of that name runs, at most 5 s. True when it was
// started.
bool AskProgramToQuit(const wchar_t* path, const wchar_t* quitSwitch);
