// The registry's three steps planned from this executable's own scripts and
// run against the prefix's registry by the Windows folder's editor, then
// rolled back: whatever the steps did or failed to do, the registry is left
// as it was before them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/platform.h"
#include "base/win32_raii.h"
#include "base/portable/registry_snapshot_codec.h"
#include "base/portable/step_list.h"
#include "payload/portable/activex_class_ids.h"
#include "payload/portable/registry_script.h"
#include "payload/registry_import.h"
#include "payload/registry_steps.h"
#include "payload/work_folder.h"
#include "test_registry.h"

namespace {

constexpr const wchar_t* kCompatibilityKey = L"SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX Compatibility";

bool SixtyFourBitWindows() { return sizeof(void*) == 8 || IsRunningUnderWow64(); }

std::vector<REGSAM> Views() {
  if (SixtyFourBitWindows()) return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
  return {0};
}

REGSAM NativeView() { return SixtyFourBitWindows() ? KEY_WOW64_64KEY : 0; }

std::wstring CompatibilityKey(const wchar_t* classId) { return std::wstring(kCompatibilityKey) + L"\\" + classId; }

// The script the plan wrote into the work folder, read by its path.
ParsedScript PlannedScript() {
  std::wstring folder;
  EXPECT_EQ(MakeWorkFolder(WorkFolderName(), folder), S_OK);
  std::ifstream file((folder + L"Reg.reg").c_str(), std::ios::binary);
  const std::vector<uint8_t> text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  return ParseRegistryScript(text);
}

// Every key of the script and every compatibility key, with all their
// ancestors, in every view.
std::vector<std::wstring> WatchedPaths(const ParsedScript& script) {
  std::vector<std::wstring> keys;
  for (const ScriptKey& key : script.keys) keys.push_back(key.path);
  for (const wchar_t* id : ActiveXClassIds()) keys.push_back(CompatibilityKey(id));
  std::set<std::wstring> paths;
  for (const std::wstring& key : keys) {
    for (size_t slash = key.find(L'\\'); slash != std::wstring::npos; slash = key.find(L'\\', slash + 1)) {
      paths.insert(key.substr(0, slash));
    }
    paths.insert(key);
  }
  return std::vector<std::wstring>(paths.begin(), paths.end());
}

std::map<std::wstring, MachineKeyState> Reading(const std::vector<std::wstring>& paths) {
  std::map<std::wstring, MachineKeyState> state;
  for (REGSAM view : Views()) {
    for (const std::wstring& path : paths) state[std::to_wstring(view) + L":" + path] = ReadMachineKeyState(path, view);
  }
  return state;
}

// Where the 32-bit editor of a 64-bit prefix may also have put a key of script 302.
std::wstring WithoutRedirection(std::wstring path) {
  const size_t at = path.find(L"Wow6432Node\\");
  if (at != std::wstring::npos) path.erase(at, 12);
  return path;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

class RegistrySteps : public testing::Test {
 protected:
  void SetUp() override {
    RemoveTraces();
    const HRESULT planned = PlanRegistrySteps(
        GetModuleHandleW(nullptr),
        [this](const std::string& encoded) {
          QueryPerformanceCounter(&savedAt_);
          ++saves_;
          saved_ = encoded;
          savedBeforeChange_ = FirstDifference(before_, Reading(paths_)).empty();
          return S_OK;
        },
        list_);
    ASSERT_EQ(planned, S_OK);
    ASSERT_EQ(list_.Size(), 3u);
    script_ = PlannedScript();
    ASSERT_TRUE(script_.ok);
    ASSERT_EQ(script_.keys.size(), 188u);
    paths_ = WatchedPaths(script_);
  }
  void TearDown() override {
    list_.Rollback();
    RemoveTraces();
  }

  void RemoveTraces() {
    WaitForRegistryImport(kRegistryImportWaitMs);
    for (const ScriptKey& key : script_.keys) {
      for (REGSAM view : Views()) {
        DeleteMachineKey(key.path, view);
        DeleteMachineKey(WithoutRedirection(key.path), view);
      }
    }
    for (REGSAM view : Views()) DeleteMachineKey(kCompatibilityKey, view);
    DeleteRegistryScript();
    RemoveWorkFolderIfEmpty();
  }

  // The registry as the steps find it; read after any set-up of a test.
  void ReadBefore() { before_ = Reading(paths_); }
  void ExpectAsBefore() {
    const std::wstring difference = FirstDifference(before_, Reading(paths_));
    EXPECT_TRUE(difference.empty()) << "after the roll-back: " << difference.c_str();
  }
  void ExpectSnapshotSavedFirst() {
    EXPECT_EQ(saves_, 1);
    EXPECT_TRUE(savedBeforeChange_) << "the snapshot was saved after a change";
    RegistrySnapshot snapshot;
    ASSERT_TRUE(DecodeRegistrySnapshot(saved_, snapshot));
    // Every script and compatibility key in every view, and missing ancestors.
    EXPECT_GE(snapshot.keys.size(), (script_.keys.size() + kActiveXClassCount) * Views().size());
  }

  StepList list_;
  ParsedScript script_;
  std::vector<std::wstring> paths_;
  std::map<std::wstring, MachineKeyState> before_;
  std::string saved_;
  int saves_ = 0;
  bool savedBeforeChange_ = false;
  LARGE_INTEGER savedAt_{};  // when the saver was called: the capture's end
};

TEST_F(RegistrySteps, ImportAndValuesRunAndTheRollBackPutsTheRegistryBack) {
  // Some of what the steps change existed before them: a key of the script
  // with a value the import replaces and one it does not know, and a class
  // id's compatibility key with other flags and another value.
  const ScriptKey& first = script_.keys.front();
  ASSERT_FALSE(first.values.empty());
  ScopedMachineKey scriptKey(first.path, NativeView());
  scriptKey.SetString(first.values.front().name.c_str(), L"old");
  scriptKey.SetString(L"Not in the script", L"kept");
  const wchar_t* const classId = ActiveXClassIds().front();
  ScopedMachineKey compatibility(CompatibilityKey(classId), NativeView());
  compatibility.SetDword(L"Compatibility Flags", 1);
  compatibility.SetString(L"Other", L"kept");
  ReadBefore();

  std::vector<std::pair<std::wstring, LARGE_INTEGER>> ends;
  list_.SetObserver([&](const std::wstring& name, int32_t) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    ends.emplace_back(name, now);
  });
  LARGE_INTEGER start, rolledBack;
  QueryPerformanceCounter(&start);
  ASSERT_EQ(list_.Do(), S_OK);
  ExpectSnapshotSavedFirst();
  EXPECT_EQ(WaitForRegistryImport(0).started, false) << "the import step left its editor running";
  for (REGSAM view : Views()) {
    EXPECT_EQ(ReadMachineKeyState(CompatibilityKey(classId), view).values[L"COMPATIBILITY FLAGS"].second,
              (std::vector<uint8_t>{0x00, 0x04, 0x00, 0x00}));
    EXPECT_TRUE(ReadMachineKeyState(CompatibilityKey(ActiveXClassIds().back()), view).exists);
  }
  EXPECT_TRUE(ReadMachineKeyState(script_.keys.back().path, NativeView()).exists);

  LARGE_INTEGER restoring;
  QueryPerformanceCounter(&restoring);
  EXPECT_FALSE(list_.Rollback());
  QueryPerformanceCounter(&rolledBack);
  ExpectAsBefore();

  ASSERT_EQ(ends.size(), 3u);
  RegistrySnapshot snapshot;
  DecodeRegistrySnapshot(saved_, snapshot);
  // The saver's own check reads the registry at length: the capture ends when it is called.
  std::printf("[ figures  ] snapshot of %u keys (%u bytes): capture and encoding %.1f ms; import %.1f ms; "
              "compatibility values %.1f ms; roll-back (restore) %.1f ms\n",
              static_cast<unsigned>(snapshot.keys.size()), static_cast<unsigned>(saved_.size()),
              Milliseconds(start, savedAt_),
              Milliseconds(ends[0].second, ends[1].second), Milliseconds(ends[1].second, ends[2].second),
              Milliseconds(restoring, rolledBack));
}

// A key of the script made volatile beforehand: the editor cannot make the
// script's keys below it, the import step fails and the values are not written.
TEST_F(RegistrySteps, FailedImportFailsItsStepAndIsRolledBack) {
  const ScriptKey* parent = nullptr;
  for (size_t i = 0; i + 1 < script_.keys.size() && parent == nullptr; ++i) {
    if (script_.keys[i + 1].path.rfind(script_.keys[i].path + L"\\", 0) == 0) parent = &script_.keys[i];
  }
  ASSERT_NE(parent, nullptr);
  UniqueRegKey volatileKey;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, parent->path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS | NativeView(), nullptr, volatileKey.Receive(), nullptr),
            ERROR_SUCCESS);
  ReadBefore();

  const int32_t result = list_.Do();
  // Wine's editor reports the keys it could not make on its standard error
  // and ends with 0: the read-back finds the first missing key.
  EXPECT_EQ(result, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) << std::hex << result;
  EXPECT_EQ(list_.Ran(), 2u) << "a step after the failed import ran";
  ExpectSnapshotSavedFirst();
  EXPECT_FALSE(ReadMachineKeyState(CompatibilityKey(ActiveXClassIds().front()), NativeView()).exists);
  list_.Rollback();
  ExpectAsBefore();
  volatileKey.Reset();
  DeleteMachineKey(parent->path, NativeView());
}

// A volatile parent of the compatibility keys: none can be made, the step
// fails with that, and the roll-back takes the import's keys back out too.
TEST_F(RegistrySteps, CompatibilityValueNotWrittenFailsItsStepAndAllIsRolledBack) {
  UniqueRegKey volatileParent;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kCompatibilityKey, 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS | NativeView(), nullptr, volatileParent.Receive(), nullptr),
            ERROR_SUCCESS);
  ReadBefore();
  EXPECT_EQ(list_.Do(), HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE));
  EXPECT_EQ(list_.Ran(), 3u);
  EXPECT_TRUE(ReadMachineKeyState(script_.keys.back().path, NativeView()).exists) << "the import did not run";
  list_.Rollback();
  ExpectAsBefore();
}

}  // namespace
