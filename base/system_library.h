// Libraries that are not among the loader's known DLLs, loaded from the system
// folder only: the elevated updater is usually started from a folder that any
// program of the user can write to (Downloads), and the loader's search would
// look there first. The program imports only known DLLs; everything else comes
// through here.
#pragma once
#include <windows.h>

// The library `name` (a bare file name) from the system folder, or nullptr;
// it stays loaded for the rest of the run.
HMODULE LoadSystemLibrary(const wchar_t* name);

// A function of a system library, or nullptr when either is missing. Callers
// keep the result (a function-local static), so each library is loaded once.
template <typename Function>
Function SystemFunction(const wchar_t* library, const char* name) {
  const HMODULE module = LoadSystemLibrary(library);
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// Limits the process's own library search to the system folder (with
// SetDefaultDllDirectories where the system has it, else by taking the
// current folder out of the search). The first thing the program does.
void RestrictLibrarySearch();
