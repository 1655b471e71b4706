// Import of the platform's registry script by the Windows folder's regedit.exe,
// and the ActiveX compatibility values, in this prefix: 64-bit (this program
// under WOW64) or 32-bit. The scripts are this executable's REG 301 and 302.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/folder_handles.h"
#include "base/platform.h"
#include "base/registry_value.h"
#include "base/win32_raii.h"
#include "payload/portable/activex_class_ids.h"
#include "payload/portable/digest_table.h"
#include "payload/extract_payload.h"
#include "payload/registry_import.h"
#include "payload/verified_file.h"
#include "test_registry.h"

namespace {

constexpr const wchar_t* kCompatibilityKey = L"SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX Compatibility";
// The 32-bit view's copy, as the 64-bit view names it.
constexpr const wchar_t* kCompatibilityKey32 =
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Internet Explorer\\ActiveX Compatibility";
constexpr const wchar_t* kRedirected = L"Wow6432Node\\";
constexpr DWORD kEditorTimeoutMs = 60000;

// The prefix's kind, read otherwise than the code under test reads it.
bool SixtyFourBitPrefix() { return IsRunningUnderWow64(); }

std::wstring WorkFolderPath() {
  std::wstring folder;
  EXPECT_EQ(MakeWorkFolder(WorkFolderName(), folder), S_OK);
  return folder;
}

std::wstring ScriptPath() { return WorkFolderPath() + L"Reg.reg"; }

bool KeyExists(const std::wstring& path, REGSAM view) {
  UniqueRegKey key;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, key.Receive()) == ERROR_SUCCESS;
}

std::optional<RegistryValue> ReadValue(const std::wstring& path, const std::wstring& name, REGSAM view) {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, key.Receive()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return QueryRegistryValue(key.Get(), name.c_str());
}

// "Compatibility Flags" of a class id under `root`, when present.
std::optional<DWORD> CompatibilityFlags(const wchar_t* root, const wchar_t* classId, REGSAM view) {
  const auto value = ReadValue(std::wstring(root) + L"\\" + classId, L"Compatibility Flags", view);
  if (!value || value->type != REG_DWORD || value->data.size() != sizeof(DWORD)) return std::nullopt;
  DWORD flags;
  memcpy(&flags, value->data.data(), sizeof flags);
  return flags;
}

int ClassIdsWithFlags(const wchar_t* root, REGSAM view) {
  int count = 0;
  for (const wchar_t* id : ActiveXClassIds()) count += CompatibilityFlags(root, id, view) == 0x400u;
  return count;
}

// ---------------------------------------------------------------------------
// The extracted script, read back: its keys (below HKEY_LOCAL_MACHINE) and
// values with the type and bytes the editor is to store.

struct ScriptValue {
  std::wstring name;  // empty for the default value
  DWORD type;
  std::vector<BYTE> data;
};

struct ScriptKey {
  std::wstring path;
  std::vector<ScriptValue> values;
};

struct Script {
  std::string text;
  std::vector<ScriptKey> keys;
};

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::vector<BYTE> Utf16Bytes(const std::string& text) {
  std::vector<BYTE> bytes;
  for (char c : text) bytes.insert(bytes.end(), {static_cast<BYTE>(c), 0});
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

std::string Unquote(const std::string& line, size_t& at) {
  std::string out;
  for (++at; at < line.size() && line[at] != '"'; ++at) {
    if (line[at] == '\\') ++at;
    out.push_back(line[at]);
  }
  ++at;
  return out;
}

Script ReadScript(const std::wstring& path) {
  Script script;
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return script;
  script.text.resize(GetFileSize(file.Get(), nullptr));
  DWORD read = 0;
  ReadFile(file.Get(), script.text.data(), static_cast<DWORD>(script.text.size()), &read, nullptr);
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = script.text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(script.text.substr(start, end - start));
  }
  const std::string root = "[HKEY_LOCAL_MACHINE\\";
  for (size_t i = 1; i < lines.size(); ++i) {
    std::string line = lines[i];
    if (line.empty()) continue;
    if (line.compare(0, root.size(), root) == 0) {
      script.keys.push_back({Widen(line.substr(root.size(), line.size() - root.size() - 1)), {}});
      continue;
    }
    if (script.keys.empty()) continue;
    size_t at = 0;
    std::string name;
    if (line[0] == '@') {
      at = 1;
    } else {
      name = Unquote(line, at);
    }
    ++at;  // '='
    ScriptValue value{Widen(name), REG_SZ, {}};
    if (line.compare(at, 7, "hex(7):") == 0) {
      std::string hex = line.substr(at + 7);
      while (!hex.empty() && hex.back() == '\\' && i + 1 < lines.size()) {
        hex.pop_back();
        hex += lines[++i].substr(2);
      }
      // The file is ANSI: each byte is a character, stored as UTF-16.
      value.type = REG_MULTI_SZ;
      for (size_t h = 0; h + 1 < hex.size(); h += 3) {
        value.data.insert(value.data.end(), {static_cast<BYTE>(std::stoul(hex.substr(h, 2), nullptr, 16)), 0});
      }
    } else {
      value.data = Utf16Bytes(Unquote(line, at));
    }
    script.keys.back().values.push_back(value);
  }
  return script;
}

// Where a key of the script is found by this 32-bit program, and where not.
//
// On 64-bit Windows the editor started from the Windows
// folder is the 64-bit one: it writes the CLSID and Interface keys of script
// 302 into the 32-bit view by their explicit "Classes\Wow6432Node" path and
// the other keys (AppID, TypeLib, ProgIDs) through the 64-bit view. Under
// Wine the program started for a 32-bit caller is syswow64\regedit.exe, a
// 32-bit editor: it reads "Classes\Wow6432Node" as its own view's Classes, so
// the CLSID and Interface keys still land in the 32-bit view (not doubled,
// not in the 64-bit view), and it writes the other keys through the 32-bit
// view, which Wine shares with the 64-bit one for these parts of Classes, so
// they are found in both views.
struct Landing {
  std::wstring path;     // as this program's own view names it
  bool redirected;       // only in the 32-bit view
};

Landing LandingOf(const ScriptKey& key) {
  const size_t at = key.path.find(kRedirected);
  if (at == std::wstring::npos) return {key.path, false};
  return {key.path.substr(0, at) + key.path.substr(at + wcslen(kRedirected)), true};
}

// The first key or value of the script that is not where the editor puts it;
// empty once the whole script is in.
std::wstring FirstMissing(const Script& script) {
  if (script.keys.empty()) return L"<no script>";
  for (const ScriptKey& key : script.keys) {
    const Landing landing = LandingOf(key);
    if (!KeyExists(landing.path, KEY_WOW64_32KEY)) return landing.path;
    for (const ScriptValue& value : key.values) {
      const auto stored = ReadValue(landing.path, value.name, KEY_WOW64_32KEY);
      if (!stored || stored->type != value.type || stored->data != value.data) {
        return landing.path + L" value \"" + value.name + L"\"";
      }
    }
  }
  return std::wstring();
}

bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(200);
  }
  return true;
}

void RemoveKeysOf(const Script& script) {
  for (const ScriptKey& key : script.keys) {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      DeleteMachineKey(key.path, view);
      DeleteMachineKey(LandingOf(key).path, view);
    }
  }
}

// Keys left by an import (both views), the script and the work folder.
void RemoveImportTraces() {
  WaitForRegistryImport(kEditorTimeoutMs);
  RemoveKeysOf(ReadScript(ScriptPath()));
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) DeleteMachineKey(kCompatibilityKey, view);
  DeleteRegistryScript();
  RemoveWorkFolderIfEmpty();
}

class RegistryImport : public testing::Test {
 protected:
  void SetUp() override { RemoveImportTraces(); }
  void TearDown() override { RemoveImportTraces(); }
};

TEST_F(RegistryImport, PlatformScriptImportedAndEveryClassIdMarked) {
  SKIP_IN_64_BIT_PROCESS();
  const bool wow64 = SixtyFourBitPrefix();
  const RegistryImportResult result = ImportRegistryScript(GetModuleHandleW(nullptr));
  ASSERT_EQ(result.script, S_OK) << result.step;
  EXPECT_TRUE(result.valuesWritten);

  // The values are written before the call returns, whatever the editor does.
  if (wow64) {
    EXPECT_EQ(ClassIdsWithFlags(kCompatibilityKey, KEY_WOW64_64KEY), 108);
    EXPECT_EQ(ClassIdsWithFlags(kCompatibilityKey, KEY_WOW64_32KEY), 108);
    // Two keys per class id: the 32-bit view's copies are seen under Wow6432Node.
    EXPECT_EQ(ClassIdsWithFlags(kCompatibilityKey32, KEY_WOW64_64KEY), 108);
  } else {
    EXPECT_EQ(ClassIdsWithFlags(kCompatibilityKey, 0), 108);
    EXPECT_FALSE(KeyExists(L"SOFTWARE\\Wow6432Node\\Microsoft", 0));
  }

  // The platform's script, as the work folder holds it for the editor: others
  // may read it, but neither write nor delete it, while the editor may still read it.
  const Script script = ReadScript(ScriptPath());
  EXPECT_FALSE(UniqueFileHandle(CreateFileW(ScriptPath().c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                            0, nullptr)));
  EXPECT_FALSE(DeleteFileW(ScriptPath().c_str()));
  ASSERT_EQ(script.text.compare(0, 38, "Windows Registry Editor Version 5.00\r\n"), 0);
  EXPECT_EQ(script.keys.size(), 188u);
  EXPECT_EQ(script.text.find("Program Files (x86)") != std::string::npos, wow64);
  EXPECT_EQ(script.text.find("Wow6432Node") != std::string::npos, wow64);

  // The editor runs on its own; once it has ended, the whole script is in.
  const RegistryImportEnd end = WaitForRegistryImport(kEditorTimeoutMs);
  EXPECT_TRUE(end.started);
  ASSERT_TRUE(end.ended) << "the editor still runs after " << kEditorTimeoutMs << " ms";
  EXPECT_EQ(end.exitCode, 0u);
  ASSERT_TRUE(FirstMissing(script).empty()) << "missing after the editor ended: " << FirstMissing(script).c_str();
  EXPECT_FALSE(WaitForRegistryImport(0).started) << "an ended editor is waited for once";

  int redirected = 0;
  for (const ScriptKey& key : script.keys) {
    const Landing landing = LandingOf(key);
    SCOPED_TRACE(landing.path);
    EXPECT_TRUE(KeyExists(landing.path, KEY_WOW64_32KEY));
    if (!wow64) continue;
    if (landing.redirected) {
      ++redirected;
      EXPECT_FALSE(KeyExists(landing.path, KEY_WOW64_64KEY)) << "a CLSID or Interface key in the 64-bit view";
      EXPECT_TRUE(KeyExists(key.path, KEY_WOW64_64KEY)) << "not under Classes\\Wow6432Node";
    } else {
      EXPECT_TRUE(KeyExists(landing.path, KEY_WOW64_64KEY)) << "a shared key missing from the 64-bit view";
    }
  }
  EXPECT_EQ(redirected, wow64 ? 119 : 0);
}

// Points TMP and TEMP of this process at another folder for as long as it lives.
class TemporaryFolderOverride {
 public:
  explicit TemporaryFolderOverride(const std::wstring& folder) {
    for (const wchar_t* name : {L"TMP", L"TEMP"}) {
      wchar_t value[MAX_PATH] = {};
      saved_.emplace_back(name, GetEnvironmentVariableW(name, value, MAX_PATH) ? value : L"");
      SetEnvironmentVariableW(name, folder.c_str());
    }
  }
  ~TemporaryFolderOverride() {
    for (const auto& [name, value] : saved_) SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
  }
  TemporaryFolderOverride(const TemporaryFolderOverride&) = delete;
  TemporaryFolderOverride& operator=(const TemporaryFolderOverride&) = delete;

 private:
  std::vector<std::pair<std::wstring, std::wstring>> saved_;
};

TEST_F(RegistryImport, ScriptInAFolderWithASpaceIsImported) {
  SKIP_IN_64_BIT_PROCESS();
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  const std::wstring spaced = std::wstring(temp) + L"user name";
  CreateDirectoryW(spaced.c_str(), nullptr);
  {
    TemporaryFolderOverride override(spaced);
    ASSERT_NE(ScriptPath().find(L"user name\\"), std::wstring::npos);
    ASSERT_EQ(ImportRegistryScript(GetModuleHandleW(nullptr)).script, S_OK);
    const Script script = ReadScript(ScriptPath());
    ASSERT_EQ(script.keys.size(), 188u);
    const bool imported = WaitFor([&] { return FirstMissing(script).empty(); }, kEditorTimeoutMs);
    EXPECT_TRUE(imported) << "not imported within " << kEditorTimeoutMs << " ms: " << FirstMissing(script).c_str();
    RemoveImportTraces();  // while the script is still found where the override puts it
  }
  RemoveDirectoryW(spaced.c_str());
}

// Swaps the Windows folder's regedit.exe aside for as long as it lives.
class EditorAside {
 public:
  EditorAside() {
    wchar_t folder[MAX_PATH] = {};
    GetWindowsDirectoryW(folder, MAX_PATH);
    editor_ = std::wstring(folder) + L"\\regedit.exe";
    moved_ = MoveFileW(editor_.c_str(), (editor_ + L".aside").c_str()) != FALSE;
  }
  ~EditorAside() {
    if (moved_) MoveFileW((editor_ + L".aside").c_str(), editor_.c_str());
  }
  EditorAside(const EditorAside&) = delete;
  EditorAside& operator=(const EditorAside&) = delete;
  bool Moved() const { return moved_; }

 private:
  std::wstring editor_;
  bool moved_ = false;
};

TEST_F(RegistryImport, NoEditorInTheWindowsFolderImportsAndWritesNothing) {
  EditorAside aside;
  ASSERT_TRUE(aside.Moved());
  const RegistryImportResult result = ImportRegistryScript(GetModuleHandleW(nullptr));
  EXPECT_EQ(result.script, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) << result.step;
  EXPECT_FALSE(result.valuesWritten);
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    EXPECT_FALSE(KeyExists(kCompatibilityKey, view));
  }
  // The script was extracted before the editor was looked for; give an editor
  // started by mistake the time to import it, then find none of its keys.
  const Script script = ReadScript(ScriptPath());
  ASSERT_EQ(script.keys.size(), 188u);
  Sleep(5000);
  for (const ScriptKey& key : script.keys) {
    EXPECT_FALSE(KeyExists(LandingOf(key).path, KEY_WOW64_32KEY)) << key.path.c_str();
  }
}

TEST_F(RegistryImport, ScriptMissingFromTheModuleStartsNothing) {
  // A module without REG resources: the extraction fails first.
  EXPECT_TRUE(FAILED(ImportRegistryScript(GetModuleHandleW(L"kernel32.dll")).script));
  EXPECT_EQ(GetFileAttributesW(ScriptPath().c_str()), INVALID_FILE_ATTRIBUTES);
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    EXPECT_FALSE(KeyExists(kCompatibilityKey, view));
  }
}

std::wstring TemporaryFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  return temp;
}

std::string FileText(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteText(const std::wstring& path, const std::string& text) {
  std::ofstream(path.c_str(), std::ios::binary) << text;
}

// This program with one byte of each registry script's digest changed,
// loaded as a data file, so that its resources are read as the program's.
class TamperedDigests {
 public:
  TamperedDigests() : path_(TemporaryFolder() + L"tampered-digests.exe") {
    wchar_t own[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::string bytes = FileText(own);
    int tables = 0;
    for (size_t at = bytes.find("DGST"); at != std::string::npos; at = bytes.find("DGST", at + 1)) {
      uint32_t rows = 0;
      if (at + kDigestTableHeaderSize > bytes.size()) break;
      memcpy(&rows, bytes.data() + at + 4, sizeof rows);
      const size_t size = kDigestTableHeaderSize + size_t{rows} * kDigestTableRowSize;
      std::vector<PayloadDigest> parsed;
      if (rows == 0 || at + size > bytes.size() ||
          !ParseDigestTable(reinterpret_cast<const uint8_t*>(bytes.data() + at), size, parsed)) {
        continue;
      }
      ++tables;
      for (uint32_t r = 0; r < rows; ++r) {
        const size_t row = at + kDigestTableHeaderSize + r * kDigestTableRowSize;
        uint32_t id = 0;
        memcpy(&id, bytes.data() + row, sizeof id);
        if (id == 301 || id == 302) bytes[row + 8] ^= 0x5A;
      }
    }
    if (tables != 1) return;
    WriteText(path_, bytes);
    module_.Reset(LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  }
  ~TamperedDigests() {
    module_.Reset();
    DeleteFileW(path_.c_str());
  }
  TamperedDigests(const TamperedDigests&) = delete;
  TamperedDigests& operator=(const TamperedDigests&) = delete;
  HINSTANCE Module() const { return module_.Get(); }

 private:
  std::wstring path_;
  UniqueModule module_;
};

TEST_F(RegistryImport, ScriptThatDoesNotMatchItsDigestIsNeitherImportedNorKept) {
  SKIP_IN_64_BIT_PROCESS();
  TamperedDigests tampered;
  ASSERT_NE(tampered.Module(), nullptr) << "no copy with changed digests";
  const RegistryImportResult result = ImportRegistryScript(tampered.Module());
  EXPECT_EQ(result.script, kDigestMismatch) << result.step;
  EXPECT_FALSE(result.valuesWritten);
  EXPECT_FALSE(WaitForRegistryImport(0).started) << "an editor was started";
  EXPECT_EQ(GetFileAttributesW(ScriptPath().c_str()), INVALID_FILE_ATTRIBUTES) << "the script was kept";
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) EXPECT_FALSE(KeyExists(kCompatibilityKey, view));
}

// Another program renames the temporary folder (the user's own) after the
// work folder is held, and puts a folder of its own with a script of its
// own where it was. Windows refuses the rename while the work folder below
// is open; Wine allows it, and then still reports the held folder under its
// old name. Either way the script is written into the folder held, and the
// editor never imports the planted one.
TEST_F(RegistryImport, ScriptGoesIntoTheHeldFolderWhateverIsRenamedOnItsWay) {
  SKIP_IN_64_BIT_PROCESS();
  constexpr const wchar_t* kPlantedKey = L"SOFTWARE\\Planted Script Test";
  const std::string plantedText = "Windows Registry Editor Version 5.00\r\n\r\n"
                                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Planted Script Test]\r\n\"planted\"=\"yes\"\r\n";
  const std::wstring outer = TemporaryFolder() + L"swap-test";
  const std::wstring moved = outer + L".moved";
  const std::wstring leaf = WorkFolderName() + L".tmp";
  ASSERT_TRUE(CreateDirectoryW(outer.c_str(), nullptr));
  std::wstring held;
  {
    TemporaryFolderOverride override(outer);
    ASSERT_EQ(MakeWorkFolder(WorkFolderName(), held), S_OK);
  }
  ASSERT_EQ(held, outer + L"\\" + leaf + L"\\");

  const bool renamed = MoveFileW(outer.c_str(), moved.c_str()) != FALSE;
  const std::wstring planted = outer + L"\\" + leaf + L"\\Reg.reg";
  if (renamed) {
    ASSERT_TRUE(CreateDirectoryW(outer.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((outer + L"\\" + leaf).c_str(), nullptr));
    WriteText(planted, plantedText);
  }
  const RegistryImportResult result = ImportRegistryScript(GetModuleHandleW(nullptr));
  const RegistryImportEnd end = WaitForRegistryImport(kEditorTimeoutMs);
  EXPECT_TRUE(!end.started || end.ended) << "the editor still runs after " << kEditorTimeoutMs << " ms";
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    EXPECT_FALSE(KeyExists(kPlantedKey, view)) << "the planted script was imported";
    DeleteMachineKey(kPlantedKey, view);
  }

  const std::wstring landed = (renamed ? moved + L"\\" + leaf : outer + L"\\" + leaf) + L"\\Reg.reg";
  const Script script = ReadScript(landed);
  EXPECT_EQ(script.keys.size(), 188u) << "the script is not in the folder held";
  if (renamed) {
    EXPECT_EQ(FileText(planted), plantedText) << "the planted script was changed";
    // The path the editor would be given leads to the planted script: nothing is started.
    EXPECT_EQ(result.script, HRESULT_FROM_WIN32(ERROR_CANT_ACCESS_FILE)) << result.step;
    EXPECT_FALSE(end.started);
  } else {
    EXPECT_EQ(result.script, S_OK) << result.step;
    EXPECT_TRUE(FirstMissing(script).empty()) << "not imported: " << FirstMissing(script).c_str();
  }

  RemoveKeysOf(script);
  DeleteRegistryScript();
  RemoveWorkFolderIfEmpty();
  DeleteFileW(planted.c_str());
  for (const std::wstring& folder : {outer + L"\\" + leaf, outer, moved + L"\\" + leaf, moved}) {
    RemoveDirectoryW(folder.c_str());
  }
}

// A volatile parent makes every non-volatile class id key fail to be created
// in that view (ERROR_CHILD_MUST_BE_VOLATILE).
class VolatileParent {
 public:
  explicit VolatileParent(REGSAM view) : view_(view) {
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kCompatibilityKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS | view,
                    nullptr, key_.Receive(), nullptr);
  }
  ~VolatileParent() {
    key_.Reset();
    DeleteMachineKey(kCompatibilityKey, view_);
  }
  VolatileParent(const VolatileParent&) = delete;
  VolatileParent& operator=(const VolatileParent&) = delete;
  bool Made() const { return key_.Valid(); }

 private:
  REGSAM view_;
  UniqueRegKey key_;
};

TEST_F(RegistryImport, FailedKeysGoOnWithTheNextClassIdAndSkipThe32BitViewAfterA64BitFailure) {
  SKIP_IN_64_BIT_PROCESS();
  if (!SixtyFourBitPrefix()) {
    VolatileParent parent(0);
    ASSERT_TRUE(parent.Made());
    EXPECT_FALSE(SetActiveXCompatibilityFlags(false));
    EXPECT_EQ(ClassIdsWithFlags(kCompatibilityKey, 0), 0);
    return;
  }
  {
    // The 32-bit view fails throughout: every 64-bit value is still written.
    VolatileParent parent(KEY_WOW64_32KEY);
    ASSERT_TRUE(parent.Made());
    EXPECT_FALSE(SetActiveXCompatibilityFlags(true));
    EXPECT_EQ(ClassIdsWithFlags(kCompatibilityKey, KEY_WOW64_64KEY), 108);
    EXPECT_EQ(ClassIdsWithFlags(kCompatibilityKey, KEY_WOW64_32KEY), 0);
  }
  DeleteMachineKey(kCompatibilityKey, KEY_WOW64_64KEY);
  {
    // The 64-bit view fails throughout: the 32-bit view of each class id is skipped.
    VolatileParent parent(KEY_WOW64_64KEY);
    ASSERT_TRUE(parent.Made());
    EXPECT_FALSE(SetActiveXCompatibilityFlags(true));
    EXPECT_EQ(ClassIdsWithFlags(kCompatibilityKey, KEY_WOW64_64KEY), 0);
    EXPECT_EQ(ClassIdsWithFlags(kCompatibilityKey, KEY_WOW64_32KEY), 0);
  }
  // Told the PC is 32-bit, it writes the 32-bit view alone.
  EXPECT_TRUE(SetActiveXCompatibilityFlags(false));
  EXPECT_EQ(ClassIdsWithFlags(kCompatibilityKey, KEY_WOW64_32KEY), 108);
  EXPECT_EQ(ClassIdsWithFlags(kCompatibilityKey, KEY_WOW64_64KEY), 0);
}

}  // namespace
