// The import slots that updater_faults.exe links with `ld --wrap`, as
// X(function, bytes of its arguments): the CMake file reads this list for the
// linker's options, the wrappers for the slot symbols. A name or byte count
// that matches no import leaves the slot's real symbol undefined, so a typo
// stops the link.
#pragma once

#define FAULT_WRAPPED_IMPORTS(X)    \
  X(CreateFileW, 28)                \
  X(ReadFile, 20)                   \
  X(WriteFile, 20)                  \
  X(FlushFileBuffers, 4)            \
  X(SetFileInformationByHandle, 16) \
  X(SetFileAttributesW, 8)          \
  X(GetFileAttributesW, 4)          \
  X(SetFileTime, 16)                \
  X(MoveFileExW, 12)                \
  X(MoveFileW, 8)                   \
  X(DeleteFileW, 4)                 \
  X(CreateProcessW, 40)             \
  X(OpenProcess, 12)                \
  X(TerminateProcess, 8)            \
  X(GetProcAddress, 8)              \
  X(RegCreateKeyExW, 36)            \
  X(RegOpenKeyExW, 20)              \
  X(RegQueryValueExW, 24)           \
  X(RegSetValueExW, 24)             \
  X(RegDeleteValueW, 8)             \
  X(SetSecurityInfo, 28)            \
  X(CreateProcessAsUserW, 44)       \
  X(CreateProcessWithTokenW, 36)    \
  X(OpenSCManagerW, 12)             \
  X(OpenServiceW, 12)               \
  X(QueryServiceStatusEx, 20)       \
  X(ControlService, 12)             \
  X(StartServiceW, 12)

// The real slot of each: the import address table entry that holds the
// system's function. Asm labels are taken verbatim, so they carry i686's
// leading underscore themselves.
#define FAULT_DECLARE_REAL(function, bytes) \
  extern "C" void* fault_real_##function asm("___real__imp__" #function "@" #bytes);
FAULT_WRAPPED_IMPORTS(FAULT_DECLARE_REAL)
#undef FAULT_DECLARE_REAL

// The system's function behind a wrapped slot, with its declared type.
#define FAULT_REAL(function) (reinterpret_cast<decltype(&::function)>(fault_real_##function))
