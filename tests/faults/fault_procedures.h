// Functions the program finds through GetProcAddress (ntdll's NtCreateFile,
// bcrypt's random numbers, the Restart Manager, the shell's folder creation):
// the wrapped GetProcAddress hands out a wrapper for those named here, which
// calls the function it was given.
#pragma once
#include <windows.h>

namespace faults {

// The wrapper for `name` (a name or an ordinal) of `module` when there is one, else `real`.
FARPROC WrappedProcedure(HMODULE module, LPCSTR name, FARPROC real);

}  // namespace faults
