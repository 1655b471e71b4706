// The registry snapshot against the prefix's registry: keys captured, changed
// as an import changes them, and put back. On a 64-bit prefix in both views,
// which hold different copies of these keys.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/platform.h"
#include "base/registry_snapshot.h"
#include "base/win32_raii.h"
#include "test_registry.h"

namespace {

constexpr const wchar_t* kRoot = L"SOFTWARE\\Registry Snapshot Test";

std::wstring Path(const std::wstring& below) { return std::wstring(kRoot) + L"\\" + below; }

std::vector<REGSAM> Views() {
  if (sizeof(void*) == 8 || IsRunningUnderWow64()) return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
  return {0};
}

// The keys a test looks at, in every view.
std::map<std::wstring, MachineKeyState> Reading(const std::vector<std::wstring>& paths) {
  std::map<std::wstring, MachineKeyState> state;
  for (REGSAM view : Views()) {
    for (const std::wstring& path : paths) state[std::to_wstring(view) + L":" + path] = ReadMachineKeyState(path, view);
  }
  return state;
}

class Key {
 public:
  Key(const std::wstring& path, REGSAM view) {
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                              key_.Receive(), nullptr),
              ERROR_SUCCESS)
        << "cannot create a test key";
  }
  void Set(const wchar_t* name, DWORD type, const std::vector<uint8_t>& data) const {
    EXPECT_EQ(RegSetValueExW(key_.Get(), name, 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
  }
  void Text(const wchar_t* name, const std::wstring& text) const {
    Set(name, REG_SZ, std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(text.c_str()),
                                           reinterpret_cast<const uint8_t*>(text.c_str() + text.size() + 1)));
  }
  void Delete(const wchar_t* name) const { EXPECT_EQ(RegDeleteValueW(key_.Get(), name), ERROR_SUCCESS); }

 private:
  UniqueRegKey key_;
};

class RegistrySnapshotTest : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    for (REGSAM view : Views()) DeleteMachineKey(kRoot, view);
  }

  // What the test keys hold before: the root, a key with values of each
  // kind, one with a subkey the snapshot is not told about.
  static void MakeExisting(REGSAM view) {
    Key root(kRoot, view);
    root.Text(L"View", std::to_wstring(view));
    Key existing(Path(L"Existing"), view);
    existing.Text(L"", L"old default " + std::to_wstring(view));
    existing.Set(L"Number", REG_DWORD, {1, 2, 3, 4});
    existing.Set(L"Bytes", REG_BINARY, {0, 0xFF});
    existing.Set(L"Multi", REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0});
    existing.Set(L"Empty", REG_SZ, {});
    existing.Text(L"Gone", L"deleted by the change");
    Key other(Path(L"Existing\\Child\\Other"), view);
    other.Text(L"Kept", L"yes");
  }

  // What an import does: new keys with new ancestors, changed, added and
  // retyped values, one value deleted.
  static void Change(REGSAM view) {
    Key existing(Path(L"Existing"), view);
    existing.Text(L"", L"new default");
    existing.Set(L"Number", REG_DWORD, {9, 9, 9, 9});
    existing.Text(L"Bytes", L"now a string");
    existing.Text(L"Added", L"added");
    existing.Delete(L"Gone");
    Key(Path(L"Existing\\Child"), view).Text(L"Added", L"in the child");
    Key(Path(L"Existing\\New"), view).Text(L"", L"new key");
    Key deepest(Path(L"Made\\Deeper\\Deepest"), view);
    deepest.Text(L"", L"deepest");
    Key(Path(L"Made"), view).Text(L"On a made ancestor", L"x");
  }

  const std::vector<std::wstring> captured_ = {Path(L"Existing"), Path(L"Existing\\Child"),
                                               Path(L"Made\\Deeper\\Deepest"), Path(L"Existing\\New")};
  const std::vector<std::wstring> looked_ = {kRoot,
                                             Path(L"Existing"),
                                             Path(L"Existing\\Child"),
                                             Path(L"Existing\\Child\\Other"),
                                             Path(L"Existing\\New"),
                                             Path(L"Made"),
                                             Path(L"Made\\Deeper"),
                                             Path(L"Made\\Deeper\\Deepest")};
};

TEST_F(RegistrySnapshotTest, RestoreAfterAnImportLeavesTheKeysAsTheyWere) {
  for (REGSAM view : Views()) MakeExisting(view);
  const auto before = Reading(looked_);
  RegistrySnapshot snapshot;
  for (REGSAM view : Views()) ASSERT_EQ(CaptureRegistryKeys(captured_, view, snapshot), S_OK);
  for (REGSAM view : Views()) Change(view);
  ASSERT_FALSE(FirstDifference(before, Reading(looked_)).empty()) << "the change changed nothing";

  // Put back as the next run would: from the snapshot's encoding.
  RegistrySnapshot decoded;
  ASSERT_TRUE(DecodeRegistrySnapshot(EncodeRegistrySnapshot(snapshot), decoded));
  EXPECT_EQ(RestoreRegistrySnapshot(decoded), S_OK);
  const std::wstring difference = FirstDifference(before, Reading(looked_));
  EXPECT_TRUE(difference.empty()) << difference.c_str();
}

// A key made under a made one by someone the snapshot does not know keeps
// its parents: only empty keys that did not exist are deleted, and the
// rest of the snapshot still goes back.
TEST_F(RegistrySnapshotTest, KeyTheSnapshotDoesNotKnowKeepsItsMadeParents) {
  for (REGSAM view : Views()) MakeExisting(view);
  const MachineKeyState existing = ReadMachineKeyState(Path(L"Existing"), Views()[0]);
  RegistrySnapshot snapshot;
  for (REGSAM view : Views()) ASSERT_EQ(CaptureRegistryKeys(captured_, view, snapshot), S_OK);
  for (REGSAM view : Views()) {
    Change(view);
    Key(Path(L"Made\\Deeper\\Foreign"), view).Text(L"", L"someone else's");
  }
  EXPECT_TRUE(FAILED(RestoreRegistrySnapshot(snapshot)));
  for (REGSAM view : Views()) {
    SCOPED_TRACE(view);
    EXPECT_TRUE(ReadMachineKeyState(Path(L"Made\\Deeper\\Foreign"), view).exists);
    EXPECT_TRUE(ReadMachineKeyState(Path(L"Made\\Deeper"), view).exists);
    EXPECT_FALSE(ReadMachineKeyState(Path(L"Made\\Deeper\\Deepest"), view).exists);
    EXPECT_FALSE(ReadMachineKeyState(Path(L"Existing\\New"), view).exists);
  }
  EXPECT_TRUE(ReadMachineKeyState(Path(L"Existing"), Views()[0]) == existing);
}

}  // namespace
