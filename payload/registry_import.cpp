#include "payload/registry_import.h"

#include <string>
#include <utility>
#include <vector>

#include "base/folder_handles.h"
#include "base/last_error.h"
#include "base/platform.h"
#include "base/win32_raii.h"
#include "payload/portable/activex_class_ids.h"
#include "payload/portable/editor_path.h"
#include "payload/extract_payload.h"
#include "payload/held_script.h"
#include "payload/portable/patch_file_entry.h"
#include "payload/payload_digests.h"
#include "payload/verified_file.h"
#include "payload/work_folder.h"

namespace {

constexpr int32_t kScriptId32 = 301;
constexpr int32_t kScriptId64 = 302;
constexpr const wchar_t* kScriptFileName = kRegistryScriptFileName;

constexpr const wchar_t* kCompatibilityKey = L"SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\";
constexpr DWORD kKillBit = 0x400;  // Internet Explorer does not load the control
constexpr DWORD kEditorEndWaitMs = 10000;  // for an ended editor to be gone
constexpr LONGLONG kMaxScriptBytes = 1 << 20;  // the scripts are about 40 KB

// The editor's process, from its start to the end of the run.
UniqueHandle& EditorProcess() {
  static UniqueHandle process;
  return process;
}

// The script from its check until the editor is done with it.
HeldScript& Script() {
  static HeldScript script;
  return script;
}

// Only the resource id, the file name and the time are read by the extraction.
PatchFileEntry ScriptRow(bool is64Bit) {
  PatchFileEntry row;
  row.on32 = true;
  row.on64 = true;
  row.folderCode = 0;
  row.resourceId = is64Bit ? kScriptId64 : kScriptId32;
  row.fileName = kScriptFileName;
  row.fileTime = {2013, 9, 11, 2, 0, 0, 0};
  return row;
}

// Creates or opens the class id's key in one view, closes the key held so far,
// holds the new one and writes the value. The status of the first step that fails.
LONG WriteCompatibilityValue(const std::wstring& path, REGSAM view, UniqueRegKey& held) {
  UniqueRegKey created;
  LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_WRITE | view, nullptr, created.Receive(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = held ? RegCloseKey(held.Release()) : ERROR_SUCCESS;
  held = std::move(created);  // held even after a failed close, so that it is closed in its turn
  if (status != ERROR_SUCCESS) return status;
  return RegSetValueExW(held.Get(), L"Compatibility Flags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kKillBit),
                        sizeof kKillBit);
}

// Whether `path`, as a program that opens it would follow it, leads to the
// file held open by `held`.
bool LeadsTo(const std::wstring& path, HANDLE held) {
  UniqueFileHandle opened(
      CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
  return opened && SameFile(IdentityOf(opened.Get()), IdentityOf(held));
}

// The checked script's bytes, read through the handle that has held it
// unchanged since its check.
HRESULT ReadHeldScript(HANDLE held, std::vector<uint8_t>& text) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(held, &size)) return LastErrorResult();
  if (size.QuadPart > kMaxScriptBytes) return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
  text.resize(static_cast<size_t>(size.QuadPart));
  OVERLAPPED from{};  // from the start, wherever the check left the file pointer
  DWORD read = 0;
  if (!text.empty() && !ReadFile(held, text.data(), static_cast<DWORD>(text.size()), &read, &from)) {
    return LastErrorResult();
  }
  if (read != text.size()) return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
  return S_OK;
}

}  // namespace

// Starts the Windows folder's editor on the script: by its full path, never
// through a search or a file association (which a user's own registrations
// could redirect), in the system folder rather than the updater's current
// one (often Downloads) for the libraries it loads, and hidden. No error box
// may stop an unattended run: CreateProcessW shows none.
HRESULT StartRegistryEditor(const std::wstring& script) {
  // The shared Windows folder, never a terminal server's per-user one.
  wchar_t windowsFolder[MAX_PATH] = {};
  const UINT windowsLength = GetSystemWindowsDirectoryW(windowsFolder, MAX_PATH);
  wchar_t systemFolder[MAX_PATH] = {};
  const UINT systemLength = GetSystemDirectoryW(systemFolder, MAX_PATH);
  if (windowsLength == 0 || windowsLength >= MAX_PATH || systemLength == 0 || systemLength >= MAX_PATH) {
    return LastErrorResult();
  }
  const std::wstring editor = std::wstring(windowsFolder) + L"\\regedit.exe";
  // Both quoted: a user name with a space would otherwise split the script's path.
  std::wstring commandLine = L"\"" + editor + L"\" /s \"" + script + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(editor.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, systemFolder,
                      &startup, &started)) {
    return LastErrorResult();
  }
  CloseHandle(started.hThread);
  // Kept so that the clean-up can wait until the editor has read the script.
  EditorProcess().Reset(started.hProcess);
  return S_OK;
}


std::wstring ActiveXCompatibilityKey(const wchar_t* classId) { return std::wstring(kCompatibilityKey) + classId; }

HRESULT WriteActiveXCompatibilityFlags(bool is64Bit) {
  LONG first = ERROR_SUCCESS;
  UniqueRegKey held;
  for (const wchar_t* classId : ActiveXClassIds()) {
    const std::wstring path = ActiveXCompatibilityKey(classId);
    // A failure in the 64-bit view leaves the 32-bit view of this class id unwritten.
    LONG status = is64Bit ? WriteCompatibilityValue(path, KEY_WOW64_64KEY, held) : ERROR_SUCCESS;
    if (status == ERROR_SUCCESS) status = WriteCompatibilityValue(path, KEY_WOW64_32KEY, held);
    if (status != ERROR_SUCCESS && first == ERROR_SUCCESS) first = status;
  }
  return HRESULT_FROM_WIN32(first);  // the key still held is closed by its owner
}

bool SetActiveXCompatibilityFlags(bool is64Bit) { return SUCCEEDED(WriteActiveXCompatibilityFlags(is64Bit)); }

bool DeleteRegistryScript() { return Script().Delete(); }

bool RegistryScriptHeld() { return Script().Held(); }

PreparedRegistryScript PrepareRegistryScript(HINSTANCE module) {
  PreparedRegistryScript prepared;
  const auto stop = [&](const wchar_t* step, HRESULT failure) {
    prepared.step = step;
    prepared.result = failure;
    return std::move(prepared);
  };
  // The folder held since the installation began; only when the installation
  // never came to make it is it made here.
  if (HeldWorkFolder() == nullptr) {
    std::wstring made;
    const HRESULT folder = MakeWorkFolder(WorkFolderName(), made);
    if (FAILED(folder)) return stop(L"no work folder", folder);
  }
  const HANDLE folder = HeldWorkFolder();

  const PatchFileEntry row = ScriptRow(Is64BitProcessor());
  PayloadFile payload;
  HRESULT step = LoadPayloadFile(module, L"REG", row, payload);
  if (FAILED(step)) return stop(L"no script", step);
  // The editor imports only the script the build made.
  std::vector<PayloadDigest> digests;
  step = LoadPayloadDigests(module, digests);
  const PayloadDigest* expected =
      SUCCEEDED(step) ? FindDigest(digests, static_cast<std::uint32_t>(row.resourceId)) : nullptr;
  if (expected == nullptr) return stop(L"no digest", FAILED(step) ? step : kDigestMismatch);
  HeldScript& script = Script();
  step = script.Make(folder, kScriptFileName, payload, *expected);
  if (step == kDigestMismatch) return stop(L"digest mismatch", step);
  if (FAILED(step)) return stop(L"script not written", step);

  // The path leads through folders that nobody can rename or replace while
  // the work folder is held open (Windows refuses to rename a folder with an
  // open entry below it), and it is checked to lead to the file held: Wine,
  // for one, keeps a held folder's old name after its parent was renamed.
  prepared.editorPath = PathForEditor(FinalPathOf(folder), kScriptFileName);
  if (!LeadsTo(prepared.editorPath, script.Reading())) {
    script.Delete();
    return stop(L"script path leads elsewhere", HRESULT_FROM_WIN32(ERROR_CANT_ACCESS_FILE));
  }
  step = ReadHeldScript(script.Reading(), prepared.text);
  if (FAILED(step)) return stop(L"script not read", step);
  prepared.result = S_OK;
  return prepared;
}

RegistryImportResult ImportRegistryScript(HINSTANCE module) {
  RegistryImportResult result;
  const PreparedRegistryScript prepared = PrepareRegistryScript(module);
  if (FAILED(prepared.result)) {
    result.step = prepared.step;
    result.script = prepared.result;
    return result;
  }
  result.script = StartRegistryEditor(prepared.editorPath);
  if (FAILED(result.script)) {
    result.step = L"editor not started";
    return result;
  }
  result.valuesWritten = SetActiveXCompatibilityFlags(Is64BitProcessor());
  return result;
}

RegistryImportEnd WaitForRegistryImport(DWORD timeoutMs) {
  RegistryImportEnd end;
  UniqueHandle& process = EditorProcess();
  if (!process) return end;
  end.started = true;
  end.ended = WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0;
  if (end.ended) {
    GetExitCodeProcess(process.Get(), &end.exitCode);
    process.Reset();
  }
  return end;
}

bool EndRegistryEditor(DWORD waitMs) {
  UniqueHandle& process = EditorProcess();
  if (!process) return true;
  if (WaitForSingleObject(process.Get(), waitMs) != WAIT_OBJECT_0) {
    // Our own child: ended, and waited for until it is gone, so that nothing
    // it still writes lands after what comes next.
    TerminateProcess(process.Get(), WAIT_TIMEOUT);
    if (WaitForSingleObject(process.Get(), kEditorEndWaitMs) != WAIT_OBJECT_0) return false;
  }
  process.Reset();
  return true;
}
