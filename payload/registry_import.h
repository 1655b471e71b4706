// Import of the registry script that registers the component servers, and the
// compatibility values that keep Internet Explorer from loading the ActiveX
// classes.
#pragma once
#include <windows.h>

// Extracts the platform's script (REG 301 on 32-bit Windows, 302 on 64-bit)
// into the work folder as "Reg.reg", checks it against the program's digest
// table and starts the Windows folder's
// regedit.exe on it, hidden and without waiting (WaitForRegistryImport waits
// for it); then sets the compatibility values. True only when the editor was
// started and every value written; a script that does not match its digest
// is not imported and no value is written.
bool ImportRegistryScript(HINSTANCE module);

// The longest wait for the editor before its script is removed.
constexpr DWORD kRegistryImportWaitMs = 60000;

// Whether an editor was started by ImportRegistryScript and ended within
// `timeoutMs` (at once when none was started), and its exit code.
struct RegistryImportEnd {
  bool started = false;
  bool ended = false;
  DWORD exitCode = 0;
};
RegistryImportEnd WaitForRegistryImport(DWORD timeoutMs);

// "Compatibility Flags" = 0x400 for each ActiveX class id, in both registry
// views on 64-bit Windows (the 64-bit view first), in the one view otherwise.
// True only when every key was created and every value written.
bool SetActiveXCompatibilityFlags(bool is64Bit);
