// What the retired functions left behind: the internet content switch, the
// per-user file and value, the shared picture folder and the help files.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "base/platform.h"
#include "base/registry_value.h"
#include "base/win32_raii.h"
#include "records/retired_features.h"
#include "test_files.h"
#include "test_registry.h"

namespace {

const wchar_t kTravioKey[] = L"SOFTWARE\\Orvane Corporation\\Travio";

std::optional<RegistryValue> MachineValue(const wchar_t* name, REGSAM view = 0) {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTravioKey, 0, KEY_READ | view, key.Receive()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return QueryRegistryValue(key.Get(), name);
}

// The per-user Travio key, made for a test and removed after it.
class ScopedUserKey {
 public:
  ScopedUserKey() {
    Remove();
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTravioKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.Receive(),
                              nullptr),
              ERROR_SUCCESS);
  }
  ~ScopedUserKey() {
    key_.Reset();
    Remove();
  }
  static void Remove() { RegDeleteTreeW(HKEY_CURRENT_USER, kTravioKey); }
  HKEY Get() const { return key_.Get(); }

 private:
  UniqueRegKey key_;
};

std::optional<RegistryValue> UserValue(const wchar_t* name) {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kTravioKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return std::nullopt;
  return QueryRegistryValue(key.Get(), name);
}

TEST(WebMedia, EnabledOnlyByTheNumberOneAsDword) {
  DeleteMachineKey(kTravioKey);
  EXPECT_FALSE(IsWebMediaEnabled());
  ScopedMachineKey key(kTravioKey);
  EXPECT_FALSE(IsWebMediaEnabled());
  key.SetDword(L"WEBMEDIA", 1);
  EXPECT_TRUE(IsWebMediaEnabled());
  key.SetDword(L"WEBMEDIA", 2);
  EXPECT_FALSE(IsWebMediaEnabled());
  key.SetDword(L"WEBMEDIA", 0);
  EXPECT_FALSE(IsWebMediaEnabled());
  key.SetString(L"WEBMEDIA", L"1");
  EXPECT_FALSE(IsWebMediaEnabled());
  const DWORD one = 1;
  key.SetRaw(L"WEBMEDIA", REG_BINARY, &one, sizeof one);
  EXPECT_FALSE(IsWebMediaEnabled());
  const ULONGLONG wide = 1;
  key.SetRaw(L"WEBMEDIA", REG_QWORD, &wide, sizeof wide);
  EXPECT_FALSE(IsWebMediaEnabled());
}

TEST(WebMedia, ReadAndDeletedInThe32BitView) {
  SKIP_IN_64_BIT_PROCESS();
  if (!Is64BitProcessor()) GTEST_SKIP() << "one registry view only";
  DeleteMachineKey(kTravioKey, KEY_WOW64_32KEY);
  ScopedMachineKey key64(kTravioKey, KEY_WOW64_64KEY);
  key64.SetDword(L"WEBMEDIA", 1);
  EXPECT_FALSE(IsWebMediaEnabled());
  DeleteWebMediaValue();
  EXPECT_TRUE(MachineValue(L"WEBMEDIA", KEY_WOW64_64KEY).has_value());
}

TEST(WebMedia, ValueIsDeletedWhateverItsTypeAndTheRestStays) {
  ScopedMachineKey key(kTravioKey);
  key.SetString(L"WEBMEDIA", L"1");
  key.SetDword(L"Other", 5);
  DeleteWebMediaValue();
  EXPECT_FALSE(MachineValue(L"WEBMEDIA").has_value());
  EXPECT_TRUE(MachineValue(L"Other").has_value());
  DeleteWebMediaValue();  // already gone: nothing happens
  EXPECT_TRUE(MachineValue(L"Other").has_value());
}

TEST(WebMedia, MissingKeyIsNotMade) {
  DeleteMachineKey(kTravioKey);
  DeleteWebMediaValue();
  UniqueRegKey key;
  EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTravioKey, 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
}

TEST(RetiredUserValue, ResetToZeroAsDword) {
  ScopedUserKey key;
  const wchar_t text[] = L"on";
  RegSetValueExW(key.Get(), L"VqmgpGzrktgf", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
  ClearRetiredUserValue();
  const auto value = UserValue(L"VqmgpGzrktgf");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value->data, (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(RetiredUserValue, MissingKeyIsNotMade) {
  ScopedUserKey::Remove();
  ClearRetiredUserValue();
  EXPECT_FALSE(UserValue(L"VqmgpGzrktgf").has_value());
  UniqueRegKey key;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kTravioKey, 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
}

TEST(RetiredUserFile, DeletedAndItsFolderKept) {
  ScopedFolder folder(SpecialFolderPath(CSIDL_LOCAL_APPDATA) + L"\\Orvane Corporation\\Mirevo");
  WriteTestFile(folder / L"Sktfpx.txt", "links");
  WriteTestFile(folder / L"settings.ini", "kept");
  EXPECT_TRUE(DeleteRetiredUserFile());
  EXPECT_FALSE(PathExists(folder / L"Sktfpx.txt"));
  EXPECT_TRUE(PathExists(folder / L"settings.ini"));
  EXPECT_FALSE(DeleteRetiredUserFile());
}

TEST(PictureFolder, RemovedWithReadOnlyEntriesAndItsParentKept) {
  ScopedFolder shared(SpecialFolderPath(CSIDL_COMMON_APPDATA) + L"\\Orvane Corporation\\QVLLib");
  const std::wstring pictures = shared / L"Socialink_PIC";
  ASSERT_TRUE(CreateDirectoryW(pictures.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((pictures + L"\\cache").c_str(), nullptr));
  WriteTestFile(pictures + L"\\a.jpg", "a");
  WriteTestFile(pictures + L"\\cache\\b.jpg", "b");
  SetFileAttributesW((pictures + L"\\a.jpg").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW((pictures + L"\\cache").c_str(), FILE_ATTRIBUTE_READONLY);
  WriteTestFile(shared / L"other.db", "kept");
  RemoveSocialinkPictureFolder();
  EXPECT_FALSE(PathExists(pictures));
  EXPECT_TRUE(PathExists(shared / L"other.db"));
}

TEST(RetiredData, EachPartGoesOnWithoutTheOthers) {
  // No user file and no user key: the picture folder is removed all the same.
  ScopedUserKey::Remove();
  ScopedFolder pictures(SpecialFolderPath(CSIDL_COMMON_APPDATA) + L"\\Orvane Corporation\\QVLLib\\Socialink_PIC");
  WriteTestFile(pictures / L"a.jpg", "a");
  RemoveRetiredFeatureData();
  EXPECT_FALSE(PathExists(pictures.Path()));
  EXPECT_FALSE(UserValue(L"VqmgpGzrktgf").has_value());
}

TEST(HelpFiles, PresentOnesAreDeletedAndEverythingElseStays) {
  ScopedFolder product(SpecialFolderPath(CSIDL_PROGRAM_FILESX86) + L"\\Orvane\\Mirevo");
  for (const wchar_t* language : {L"ENG", L"FRA", L"PTB", L"DEU"}) {
    CreateDirectoryW((product / language).c_str(), nullptr);
  }
  const std::wstring present[] = {product / L"ENG\\NC Browse.chm", product / L"ENG\\NC Playback.chm",
                                  product / L"FRA\\NC Playback.chm", product / L"PTB\\NC Browse.chm"};
  const std::wstring kept[] = {product / L"ENG\\Mirevo.chm", product / L"DEU\\NC Browse.chm",
                               product / L"NC Browse.chm"};
  for (const std::wstring& path : present) WriteTestFile(path, "help");
  for (const std::wstring& path : kept) WriteTestFile(path, "help");
  DeleteRetiredHelpFiles();
  for (const std::wstring& path : present) EXPECT_FALSE(PathExists(path));
  for (const std::wstring& path : kept) EXPECT_TRUE(PathExists(path));
  EXPECT_TRUE(PathExists(product / L"ENG"));
}

}  // namespace
