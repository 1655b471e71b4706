// Import of the registry script that registers the component servers, and the
// compatibility values that keep Internet Explorer from loading the ActiveX
// classes.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// What ImportRegistryScript did. `script` is S_OK when the editor was started
// on the checked script, else the HRESULT of the step that stopped it, which
// `step` names; the compatibility values are written only after a start.
struct RegistryImportResult {
  HRESULT script = E_UNEXPECTED;
  const wchar_t* step = L"";
  bool valuesWritten = false;
};

// Writes the platform's script (REG 301 on 32-bit Windows, 302 on 64-bit) as
// "Reg.reg" into the work folder held since the installation (made now when
// none is held), through the folder's handle, checks it against the
// program's digest table and keeps it unchanged until WaitForRegistryImport
// has seen the editor end. Starts the Windows folder's regedit.exe on it by
// full path, hidden and without waiting, with the path built from where the
// held folder really is; then sets the compatibility values. A script that
// does not match its digest is not imported and no value is written.
RegistryImportResult ImportRegistryScript(HINSTANCE module);

// The part of ImportRegistryScript before the editor: the platform's script
// written, checked and held in the work folder, the path to give the editor
// (checked to lead to the file held) and the file's bytes, read through the
// handle that holds it. `result` is S_OK, or the failure of the step that
// `step` names.
struct PreparedRegistryScript {
  HRESULT result = E_UNEXPECTED;
  const wchar_t* step = L"";
  std::wstring editorPath;
  std::vector<uint8_t> text;
};
PreparedRegistryScript PrepareRegistryScript(HINSTANCE module);

// Starts the Windows folder's regedit.exe on the prepared script by its full
// path, hidden, without waiting; WaitForRegistryImport sees it end.
HRESULT StartRegistryEditor(const std::wstring& editorPath);

// Waits up to `waitMs` for an editor still running, then ends it (it is this
// process's child) and waits until it is gone. True when none runs any more.
bool EndRegistryEditor(DWORD waitMs);

// The longest wait for the editor before its script is removed.
constexpr DWORD kRegistryImportWaitMs = 60000;

// Whether an editor was started (by ImportRegistryScript or
// StartRegistryEditor) and ended within `timeoutMs` (at once when none was
// started), and its exit code.
struct RegistryImportEnd {
  bool started = false;
  bool ended = false;
  DWORD exitCode = 0;
};
RegistryImportEnd WaitForRegistryImport(DWORD timeoutMs);

// The script's name in the work folder.
constexpr wchar_t kRegistryScriptFileName[] = L"Reg.reg";

// Deletes the script through the handle that holds it; false when none is
// held or it cannot be deleted (the editor still reads it).
bool DeleteRegistryScript();
// Whether the script is still held, after a deletion that failed and may be tried again.
bool RegistryScriptHeld();

// The key below HKEY_LOCAL_MACHINE that holds a class id's compatibility value.
std::wstring ActiveXCompatibilityKey(const wchar_t* classId);

// "Compatibility Flags" = 0x400 for each ActiveX class id, in both registry
// views on 64-bit Windows (the 64-bit view first), in the one view otherwise.
// Goes on after a failure; S_OK only when every key was created and every
// value written, else the first failure.
HRESULT WriteActiveXCompatibilityFlags(bool is64Bit);
// The same, true on S_OK.
bool SetActiveXCompatibilityFlags(bool is64Bit);
