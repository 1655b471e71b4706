// The version records after an update: the patch list entry under the
// package key, the version file rewritten beside itself, the uninstall entry
// of the installed edition in its registry view.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <optional>
#include <regex>
#include <string>

#include "base/platform.h"
#include "base/registry_value.h"
#include "base/win32_raii.h"
#include "applicability/installed_product.h"
#include "records/version_file.h"
#include "records/version_records.h"
#include "test_files.h"
#include "test_registry.h"

namespace {

const wchar_t kPackageKey[] = L"Software\\Orvane Corporation\\Shared Info\\AppDB\\Mirevo";
const wchar_t kEntryKey[] = L"Software\\Orvane Corporation\\Shared Info\\AppDB\\Mirevo\\PatchList\\EP0000517904";
const wchar_t kVersionPathKey[] = L"SOFTWARE\\Orvane Corporation\\Shared Info\\VersionPath\\Mirevo";
const wchar_t kFirstChoice[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{7A3C51E0-4B2F-4D9A-8E61-C05F2B93D417}";
const wchar_t kSecondChoice[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{E2904F6B-1C7A-4E35-B8D2-6F41A0C93E58}";
const wchar_t kTarget[] = L"2.2.3.04170";

REGSAM View32() { return Is64BitProcessor() ? KEY_WOW64_32KEY : 0; }
REGSAM View64() { return Is64BitProcessor() ? KEY_WOW64_64KEY : 0; }

bool KeyExists(const wchar_t* path, REGSAM view) {
  UniqueRegKey key;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, key.Receive()) == ERROR_SUCCESS;
}

// (type, text) of a value, or type REG_NONE when absent; the size must count the terminator.
struct TextValue {
  DWORD type = REG_NONE;
  std::wstring text;
  bool operator==(const TextValue& o) const { return type == o.type && text == o.text; }
};

std::ostream& operator<<(std::ostream& out, const TextValue& v) {
  return out << "type " << v.type << " \"" << std::string(v.text.begin(), v.text.end()) << "\"";
}

TextValue ReadText(const wchar_t* path, const wchar_t* name, REGSAM view) {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, key.Receive()) != ERROR_SUCCESS) return {};
  const auto value = QueryRegistryValue(key.Get(), name);
  if (!value) return {};
  const std::wstring text = RegistryText(*value);
  EXPECT_EQ(value->data.size(), (text.size() + 1) * sizeof(wchar_t)) << "size with the terminating zero";
  return {value->type, text};
}

TextValue Sz(const std::wstring& text) { return {REG_SZ, text}; }

std::wstring Today() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t text[16];
  std::swprintf(text, 16, L"%04d%02d%02d", now.wYear, now.wMonth, now.wDay);
  return text;
}

TEST(PatchListEntry, ThreeValuesUnderThePackageKeyInThe32BitView) {
  SKIP_IN_64_BIT_PROCESS();
  if (Is64BitProcessor()) DeleteMachineKey(kPackageKey, KEY_WOW64_64KEY);
  ScopedMachineKey package(kPackageKey, View32());
  EXPECT_EQ(S_OK, WritePatchListEntry(L"EP0000517904", L"Mirevo Update", kTarget));
  EXPECT_EQ(ReadText(kEntryKey, L"patchid", View32()), Sz(L"EP0000517904"));
  EXPECT_EQ(ReadText(kEntryKey, L"patchname", View32()), Sz(L"Mirevo Update"));
  EXPECT_EQ(ReadText(kEntryKey, L"version", View32()), Sz(kTarget));
  if (Is64BitProcessor()) {
    EXPECT_FALSE(KeyExists(kPackageKey, KEY_WOW64_64KEY));
  }
}

TEST(PatchListEntry, ExistingEntryIsOverwrittenAndKeepsOtherValues) {
  SKIP_IN_64_BIT_PROCESS();
  ScopedMachineKey entry(kEntryKey, View32());
  entry.SetString(L"version", L"old");
  entry.SetString(L"note", L"kept");
  EXPECT_EQ(S_OK, WritePatchListEntry(L"EP0000517904", L"d", kTarget));
  EXPECT_EQ(ReadText(kEntryKey, L"version", View32()), Sz(kTarget));
  EXPECT_EQ(ReadText(kEntryKey, L"note", View32()), Sz(L"kept"));
}

TEST(PatchListEntry, MissingPackageKeyGetsNothing) {
  SKIP_IN_64_BIT_PROCESS();
  DeleteMachineKey(kPackageKey, View32());
  // The key only in the 64-bit view does not count either.
  std::optional<ScopedMachineKey> elsewhere;
  if (Is64BitProcessor()) elsewhere.emplace(kPackageKey, KEY_WOW64_64KEY);
  EXPECT_EQ(S_FALSE, WritePatchListEntry(L"EP0000517904", L"d", kTarget));
  EXPECT_FALSE(KeyExists(kPackageKey, View32()));
}

TEST(PatchListEntry, MissingTextsEndTheSequence) {
  SKIP_IN_64_BIT_PROCESS();
  ScopedMachineKey package(kPackageKey, View32());
  EXPECT_EQ(E_INVALIDARG, WritePatchListEntry(nullptr, L"d", kTarget));
  EXPECT_FALSE(KeyExists((std::wstring(kPackageKey) + L"\\PatchList").c_str(), View32()));

  EXPECT_EQ(E_INVALIDARG, WritePatchListEntry(L"EP0000517904", nullptr, kTarget));
  EXPECT_EQ(ReadText(kEntryKey, L"patchid", View32()), Sz(L"EP0000517904"));
  EXPECT_EQ(ReadText(kEntryKey, L"patchname", View32()).type, static_cast<DWORD>(REG_NONE));
  EXPECT_EQ(ReadText(kEntryKey, L"version", View32()).type, static_cast<DWORD>(REG_NONE));

  EXPECT_EQ(E_INVALIDARG, WritePatchListEntry(L"EP0000517904", L"d", nullptr));
  EXPECT_EQ(ReadText(kEntryKey, L"patchname", View32()), Sz(L"d"));
  EXPECT_EQ(ReadText(kEntryKey, L"version", View32()).type, static_cast<DWORD>(REG_NONE));
}

TEST(UninstallEntry, FirstChoiceInThe64BitViewLeavesTheSecondAlone) {
  ScopedMachineKey first(kFirstChoice, View64());
  ScopedMachineKey second(kSecondChoice, View32());
  second.SetString(L"DisplayVersion", L"2.0.1.12040");
  const std::wstring before = Today();
  EXPECT_EQ(S_OK, UpdateUninstallEntry(kTarget));
  EXPECT_EQ(ReadText(kFirstChoice, L"DisplayVersion", View64()), Sz(kTarget));
  const TextValue date = ReadText(kFirstChoice, L"InstallDate", View64());
  EXPECT_TRUE(date == Sz(before) || date == Sz(Today())) << date;
  EXPECT_EQ(ReadText(kSecondChoice, L"DisplayVersion", View32()), Sz(L"2.0.1.12040"));
  EXPECT_EQ(ReadText(kSecondChoice, L"InstallDate", View32()).type, static_cast<DWORD>(REG_NONE));
}

TEST(UninstallEntry, OnlyThe32BitEditionInstalled) {
  SKIP_IN_64_BIT_PROCESS();
  DeleteMachineKey(kFirstChoice, View64());
  ScopedMachineKey second(kSecondChoice, View32());
  // On 64-bit Windows the first entry in the 32-bit view is not the 64-bit edition's.
  std::optional<ScopedMachineKey> misplaced;
  if (Is64BitProcessor()) misplaced.emplace(kFirstChoice, KEY_WOW64_32KEY);
  EXPECT_EQ(S_OK, UpdateUninstallEntry(kTarget));
  EXPECT_EQ(ReadText(kSecondChoice, L"DisplayVersion", View32()), Sz(kTarget));
  EXPECT_EQ(ReadText(kSecondChoice, L"InstallDate", View32()).text.size(), 8u);
  if (Is64BitProcessor()) {
    EXPECT_EQ(ReadText(kFirstChoice, L"DisplayVersion", KEY_WOW64_32KEY).type, static_cast<DWORD>(REG_NONE));
    EXPECT_FALSE(KeyExists(kSecondChoice, KEY_WOW64_64KEY));
  }
}

TEST(UninstallEntry, NoEntryNoRecord) {
  DeleteMachineKey(kFirstChoice, View64());
  DeleteMachineKey(kSecondChoice, View32());
  EXPECT_EQ(S_FALSE, UpdateUninstallEntry(kTarget));
  EXPECT_FALSE(KeyExists(kFirstChoice, View64()));
  EXPECT_FALSE(KeyExists(kSecondChoice, View32()));
}

std::vector<std::wstring> LinesOf(const std::wstring& path) {
  std::vector<std::wstring> lines;
  EXPECT_TRUE(ReadVersionFileLines(path, lines));
  return lines;
}

class VersionFile : public testing::Test {
 protected:
  void SetUp() override { key_.SetString(L"Version", path_); }
  ScopedFolder folder_{TempFolder() + L"version-file-test"};
  std::wstring path_ = folder_ / L"Version.txt";
  ScopedMachineKey key_{kVersionPathKey};  // the program's own view
};

TEST_F(VersionFile, RegisteredFileGetsTheNewVersionAndARecord) {
  WriteTestFile(path_, "2.0.1.12040\r\n\r\nVersion=2.0.1.12040\r\n");
  EXPECT_TRUE(WriteVersionFile(L"Mirevo Update", kTarget));
  const std::string content = ReadTestFile(path_);
  const std::regex expected(
      "2\\.2\\.3\\.04170\r\n2\\.0\\.1\\.12040\r\nVersion=2\\.0\\.1\\.12040\r\nUpdateCount=1\r\n"
      "Updated_1_Date=20\\d\\d/1?\\d/[1-3]?\\d [0-2]\\d:[0-5]\\d:[0-5]\\d\r\n"
      "Updated_1_ProductName=Mirevo Update\r\nUpdated_1_Version=2\\.2\\.3\\.04170\r\n"
      "Updated_1_ProductGUID=\\{5B1E3A7C-92D4-4F08-A6C3-1D7E8F20B94A\\}\r\n");
  EXPECT_TRUE(std::regex_match(content, expected)) << content;
  EXPECT_FALSE(PathExists(path_ + L".new"));
  // The installed-product reader sees the new version and the installer's entry.
  EXPECT_TRUE(ReadInstalledVersion());
  EXPECT_EQ(InstalledVersion(), kTarget);
  EXPECT_EQ(VersionEntry(), L"2.0.1.12040");
}

TEST_F(VersionFile, MissingFileIsWrittenFromNothing) {
  EXPECT_TRUE(LinesOf(path_).empty());
  EXPECT_TRUE(WriteVersionFile(L"d", kTarget));
  const std::string content = ReadTestFile(path_);
  EXPECT_EQ(content.rfind("2.2.3.04170\r\nUpdateCount=1\r\nUpdated_1_Date=", 0), 0u) << content;
}

TEST_F(VersionFile, LinesAreReadWhileAnotherProgramWritesTheFile) {
  WriteTestFile(path_, "2.1\nUpdateCount=2\n");
  UniqueFileHandle writer(CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer.Valid());
  EXPECT_EQ(LinesOf(path_), (std::vector<std::wstring>{L"2.1", L"UpdateCount=2"}));
}

TEST_F(VersionFile, FileThatCannotBeReadStaysAsItIs) {
  // Written again from nothing, it would lose every earlier record.
  const std::string old = "2.0.1.12040\r\nVersion=2.0.1.12040\r\nUpdateCount=3\r\n";
  WriteTestFile(path_, old);
  {
    UniqueFileHandle holder(CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder.Valid());
    std::vector<std::wstring> lines;
    EXPECT_FALSE(ReadVersionFileLines(path_, lines));
    EXPECT_FALSE(WriteVersionFile(L"d", kTarget));
  }
  EXPECT_EQ(ReadTestFile(path_), old);
  EXPECT_FALSE(PathExists(path_ + L".new"));
}

TEST_F(VersionFile, OldFileStaysWhenTheNewOneCannotBeWritten) {
  const std::string old = "2.0.1.12040\r\nVersion=2.0.1.12040\r\nUpdateCount=3\r\n";
  WriteTestFile(path_, old);
  // A folder where the new content would go makes the write fail before anything is replaced.
  ASSERT_TRUE(CreateDirectoryW((path_ + L".new").c_str(), nullptr));
  EXPECT_FALSE(RewriteVersionFile(path_, LinesOf(path_), L"d", kTarget));
  EXPECT_EQ(ReadTestFile(path_), old);
  EXPECT_TRUE(ReadInstalledVersion());
  EXPECT_EQ(InstalledVersion(), L"2.0.1.12040");
}

TEST_F(VersionFile, FileThatCannotBeReplacedIsWrittenInPlace) {
  const std::string old = "2.0.1.12040\r\nVersion=2.0.1.12040\r\n";
  WriteTestFile(path_, old);
  {
    // Held by a reader that allows writing but not deleting or renaming.
    UniqueFileHandle reader(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader.Valid());
    EXPECT_TRUE(RewriteVersionFile(path_, LinesOf(path_), L"d", kTarget));
  }
  EXPECT_EQ(ReadTestFile(path_).rfind("2.2.3.04170\r\n2.0.1.12040\r\nVersion=2.0.1.12040\r\nUpdateCount=1\r\n", 0), 0u);
  EXPECT_FALSE(PathExists(path_ + L".new")) << "the new file beside it is cleared away";
}

TEST_F(VersionFile, ReadOnlyFileIsReplacedAndStaysReadOnly) {
  WriteTestFile(path_, "2.0.1.12040\r\n");
  ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_TRUE(RewriteVersionFile(path_, LinesOf(path_), L"d", kTarget));
  EXPECT_EQ(ReadTestFile(path_).rfind("2.2.3.04170\r\n2.0.1.12040\r\nUpdateCount=1\r\n", 0), 0u);
  EXPECT_EQ(GetFileAttributesW(path_.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});
  SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);  // for the folder's removal
}

TEST_F(VersionFile, FileHeldWithoutWriteSharingKeepsItsOldContent) {
  const std::string old = "2.0.1.12040\r\nVersion=2.0.1.12040\r\n";
  WriteTestFile(path_, old);
  {
    UniqueFileHandle reader(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                        nullptr));
    ASSERT_TRUE(reader.Valid());
    EXPECT_FALSE(RewriteVersionFile(path_, LinesOf(path_), L"d", kTarget));
  }
  EXPECT_EQ(ReadTestFile(path_), old);
  EXPECT_FALSE(PathExists(path_ + L".new"));
}

TEST_F(VersionFile, LeftoverNewFileOfAnEarlierRunIsOverwritten) {
  WriteTestFile(path_, "2.0.1.12040\r\n");
  WriteTestFile(path_ + L".new", "half a fi");
  EXPECT_TRUE(RewriteVersionFile(path_, LinesOf(path_), L"d", kTarget));
  EXPECT_EQ(ReadTestFile(path_).rfind("2.2.3.04170\r\n2.0.1.12040\r\nUpdateCount=1\r\n", 0), 0u);
  EXPECT_FALSE(PathExists(path_ + L".new"));
}

TEST_F(VersionFile, MissingFolderIsNotMade) {
  const std::wstring elsewhere = folder_ / L"no-such-folder\\Version.txt";
  EXPECT_FALSE(RewriteVersionFile(elsewhere, {}, L"d", kTarget));
  EXPECT_FALSE(PathExists(folder_ / L"no-such-folder"));
}

}  // namespace
