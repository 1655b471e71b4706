#include "payload/registry_import.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <utility>
#include <vector>

#include "app/platform.h"
#include "app/trace.h"
#include "app/win32_raii.h"
#include "payload/activex_class_ids.h"
#include "payload/extract_payload.h"
#include "payload/patch_file_entry.h"
#include "payload/payload_digests.h"
#include "payload/verified_file.h"

namespace {

constexpr int32_t kScriptId32 = 301;
constexpr int32_t kScriptId64 = 302;
constexpr const wchar_t* kScriptFileName = L"Reg.reg";

constexpr const wchar_t* kCompatibilityKey = L"SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\";
constexpr DWORD kKillBit = 0x400;  // Internet Explorer does not load the control

// The size of the structure as this 32-bit program knows it.
constexpr DWORD kShellExecuteInfoSize = 60;
static_assert(sizeof(void*) != 4 || sizeof(SHELLEXECUTEINFOW) == kShellExecuteInfoSize);

// The editor's process, from its start to the end of the run.
UniqueHandle& EditorProcess() {
  static UniqueHandle process;
  return process;
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
// holds the new one and writes the value. False at the first step that fails.
bool WriteCompatibilityValue(const std::wstring& path, REGSAM view, UniqueRegKey& held) {
  UniqueRegKey created;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | view,
                      nullptr, created.Receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const bool closed = !held || RegCloseKey(held.Release()) == ERROR_SUCCESS;
  held = std::move(created);  // held even after a failed close, so that it is closed in its turn
  if (!closed) return false;
  return RegSetValueExW(held.Get(), L"Compatibility Flags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kKillBit),
                        sizeof kKillBit) == ERROR_SUCCESS;
}

}  // namespace

bool SetActiveXCompatibilityFlags(bool is64Bit) {
  bool result = true;
  UniqueRegKey held;
  for (const wchar_t* classId : ActiveXClassIds()) {
    const std::wstring path = std::wstring(kCompatibilityKey) + classId;
    // A failure in the 64-bit view leaves the 32-bit view of this class id unwritten.
    if (is64Bit && !WriteCompatibilityValue(path, KEY_WOW64_64KEY, held)) {
      result = false;
      continue;
    }
    if (!WriteCompatibilityValue(path, KEY_WOW64_32KEY, held)) result = false;
  }
  return result;  // the key still held is closed by its owner
}

bool ImportRegistryScript(HINSTANCE module) {
  std::wstring workFolder;
  if (FAILED(MakeWorkFolder(WorkFolderName(), workFolder))) return false;
  const bool is64Bit = Is64BitProcessor();
  const PatchFileEntry row = ScriptRow(is64Bit);
  std::wstring expanded;
  if (FAILED(ExtractPayload(workFolder, row, L"REG", module, expanded))) return false;
  const std::wstring script = workFolder + kScriptFileName;
  // The editor imports only the script the build made.
  std::vector<PayloadDigest> digests;
  const PayloadDigest* expected = nullptr;
  if (SUCCEEDED(LoadPayloadDigests(module, digests))) {
    expected = FindDigest(digests, static_cast<std::uint32_t>(row.resourceId));
  }
  const HRESULT checked = expected ? CheckFileDigest(script, *expected) : kDigestMismatch;
  if (FAILED(checked)) {
    Trace(L"registry: script not imported: 0x%08lX", static_cast<unsigned long>(checked));
    return false;
  }

  wchar_t windowsFolder[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, windowsFolder, CSIDL_WINDOWS, FALSE)) return false;
  const std::wstring editor = std::wstring(windowsFolder) + L"\\regedit.exe";
  // Quoted: the temporary folder lies under the user's profile, and a user
  // name with a space would otherwise split the path, so that the editor
  // imports nothing while the update goes on as if it had.
  const std::wstring parameters = L"/s \"" + script + L"\"";
  if (!PathFileExistsW(editor.c_str())) return false;

  // The handle lets the clean-up wait until the editor has read the script;
  // no error box may stop an unattended run.
  SHELLEXECUTEINFOW start{};
  start.cbSize = kShellExecuteInfoSize;
  start.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  start.hwnd = nullptr;
  start.lpVerb = L"open";
  start.lpFile = editor.c_str();
  start.lpParameters = parameters.c_str();
  start.lpDirectory = nullptr;
  start.nShow = SW_HIDE;
  if (!ShellExecuteExW(&start)) return false;
  EditorProcess().Reset(start.hProcess);
  return SetActiveXCompatibilityFlags(is64Bit);
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
