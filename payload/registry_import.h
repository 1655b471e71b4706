// Import of the registry script that registers the component servers, and the
// compatibility values that keep Internet Explorer from loading the ActiveX
// classes.
#pragma once
#include <windows.h>

// Extracts the platform's script (REG 301 on 32-bit Windows, 302 on 64-bit)
// into the work folder as "Reg.reg" and starts the Windows folder's
// regedit.exe on it, hidden and without waiting; then sets the compatibility
// values. True only when the editor was started and every value written.
bool ImportRegistryScript(HINSTANCE module);

// "Compatibility Flags" = 0x400 for each ActiveX class id, in both registry
// views on 64-bit Windows (the 64-bit view first), in the one view otherwise.
// True only when every key was created and every value written.
bool SetActiveXCompatibilityFlags(bool is64Bit);
