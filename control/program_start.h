// Starting one of the maker's programs by its full path: the file named is
// the file run. No shell association (the user's own HKCU classes included)
// and no search path is consulted.
#pragma once
#include <windows.h>

#include <string>

// The command line for `path`: the path quoted, then `parameters` when given.
std::wstring ProgramCommandLine(const std::wstring& path, const wchar_t* parameters);

// Startup information for a hidden window, `desktop` when given.
STARTUPINFOW HiddenStartup(wchar_t* desktop = nullptr);

// Starts `path` hidden, as the updater runs, in the program's own folder and
// without handing it any handle; does not wait for it. ERROR_SUCCESS or the
// error of the start.
DWORD StartProgramHidden(const std::wstring& path, const wchar_t* parameters);
