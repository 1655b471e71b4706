// Finding what is installed: the version file, file versions, the companion
// application's edition, and the applicability check built on them.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/platform.h"
#include "applicability/applicability.h"
#include "applicability/installed_product.h"
#include "applicability/version_resource.h"
#include "test_registry.h"

namespace {

const wchar_t kVersionPathKey[] = L"SOFTWARE\\Orvane Corporation\\Shared Info\\VersionPath\\Mirevo";
const wchar_t kStoryloomKey[] = L"SOFTWARE\\Orvane Corporation\\Storyloom\\1.0\\App";

std::wstring DefaultVersionFilePath() {
  wchar_t folder[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILESX86, FALSE);
  return std::wstring(folder) + L"\\Orvane\\Mirevo\\Version.txt";
}

TEST(VersionFilePath, RegisteredPathIsUsedAsStored) {
  ScopedMachineKey key(kVersionPathKey);
  key.SetString(L"Version", L"%TEMP%\\v.txt", REG_EXPAND_SZ);
  EXPECT_EQ(GetVersionFilePath(), L"%TEMP%\\v.txt");  // not expanded
  key.SetString(L"Version", L"C:\\x\\Version.txt");
  EXPECT_EQ(GetVersionFilePath(), L"C:\\x\\Version.txt");
}

TEST(VersionFilePath, DefaultUnder32BitProgramFiles) {
  DeleteMachineKey(kVersionPathKey);
  EXPECT_EQ(GetVersionFilePath(), DefaultVersionFilePath());
  if (Is64BitProcessor()) {
    EXPECT_NE(DefaultVersionFilePath().find(L"Program Files (x86)"), std::wstring::npos);
  }
  ScopedMachineKey key(kVersionPathKey);
  key.SetDword(L"Version", 5);  // another type counts as no path
  EXPECT_EQ(GetVersionFilePath(), DefaultVersionFilePath());
  key.SetString(L"Version", L"");
  EXPECT_EQ(GetVersionFilePath(), DefaultVersionFilePath());
}

TEST(VersionFilePath, RegistryLookupUsesThe32BitView) {
  SKIP_IN_64_BIT_PROCESS();
  // A path registered only in the 64-bit view is not seen by this 32-bit program.
  if (!Is64BitProcessor()) GTEST_SKIP() << "one registry view only";
  ScopedMachineKey key(kVersionPathKey, KEY_WOW64_64KEY);
  key.SetString(L"Version", L"C:\\only64\\Version.txt");
  DeleteMachineKey(kVersionPathKey, KEY_WOW64_32KEY);
  EXPECT_EQ(GetVersionFilePath(), DefaultVersionFilePath());
}

TEST(InstalledVersion, ReadFromTheRegisteredFile) {
  ScopedTempFile file(L"version-test.txt", "2.0.1.12040\r\nVersion=2.0.1.12040\r\nUpdateCount=1\r\n");
  ScopedMachineKey key(kVersionPathKey);
  key.SetString(L"Version", file.Path());
  EXPECT_TRUE(ReadInstalledVersion());
  EXPECT_EQ(InstalledVersion(), L"2.0.1.12040");
  EXPECT_EQ(VersionEntry(), L"2.0.1.12040");
  EXPECT_EQ(CheckApplicability(), 0);
}

TEST(InstalledVersion, MissingFileLeavesBothEmpty) {
  ScopedMachineKey key(kVersionPathKey);
  key.SetString(L"Version", L"C:\\no\\such\\Version.txt");
  EXPECT_FALSE(ReadInstalledVersion());
  EXPECT_EQ(InstalledVersion(), L"");
  EXPECT_EQ(VersionEntry(), L"");
  EXPECT_EQ(CheckApplicability(), 202);
}

TEST(InstalledVersion, ApplicabilityFollowsTheFile) {
  ScopedMachineKey key(kVersionPathKey);
  const struct {
    const char* content;
    int expected;
  } cases[] = {
      {"2.2.3.04169\nVersion=x\n", 0},   {"2.0.1.12039\nVersion=x\n", 202}, {"2.0.1.12040\n", 202},
      {"2.2.3.04170\nVersion=x\n", 203}, {"3.0.0.00000\nVersion=x\n", 203}, {"", 202},
  };
  for (const auto& c : cases) {
    ScopedTempFile file(L"version-cases.txt", c.content);
    key.SetString(L"Version", file.Path());
    EXPECT_EQ(CheckApplicability(), c.expected) << c.content;
  }
}

TEST(FixedFileVersion, ReadsTheVersionResource) {
  wchar_t own[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, own, MAX_PATH);
  VS_FIXEDFILEINFO info{};
  ASSERT_TRUE(ReadFixedFileVersion(own, info));
  EXPECT_EQ(info.dwFileVersionMS, 0x00020002u);
  EXPECT_EQ(info.dwFileVersionLS, 0x0003104Au);
}

TEST(FixedFileVersion, RejectsWhatHasNoVersion) {
  VS_FIXEDFILEINFO info{};
  EXPECT_FALSE(ReadFixedFileVersion(nullptr, info));
  EXPECT_FALSE(ReadFixedFileVersion(L"", info));
  EXPECT_FALSE(ReadFixedFileVersion(L"C:\\no\\such\\file.dll", info));
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  EXPECT_FALSE(ReadFixedFileVersion(windows, info));  // a folder
  ScopedTempFile plain(L"no-version.dll", "MZ not really a program");
  EXPECT_FALSE(ReadFixedFileVersion(plain.Path().c_str(), info));
}

// The system's answer: the root value of the block that GetFileVersionInfoW
// gives, taken by VerQueryValueW.
bool SystemFixedFileVersion(const std::wstring& path, VS_FIXEDFILEINFO& info) {
  std::vector<uint8_t> block = ReadVersionResource(path.c_str());
  void* root = nullptr;
  UINT length = 0;
  if (!QueryVersionValue(block, L"\\", &root, &length) || length < sizeof info) return false;
  std::memcpy(&info, root, sizeof info);
  return true;
}

// Programs and libraries of the system folder, a few hundred spread over it.
std::vector<std::wstring> SystemPrograms() {
  wchar_t folder[MAX_PATH] = {};
  GetSystemDirectoryW(folder, MAX_PATH);
  std::vector<std::wstring> all;
  for (const wchar_t* pattern : {L"\\*.dll", L"\\*.exe"}) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((std::wstring(folder) + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) continue;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        all.push_back(std::wstring(folder) + L"\\" + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  constexpr std::size_t kMaxFiles = 300;
  const std::size_t step = (all.size() + kMaxFiles - 1) / kMaxFiles;
  std::vector<std::wstring> chosen;
  for (std::size_t k = 0; k < all.size(); k += step) chosen.push_back(all[k]);
  return chosen;
}

TEST(FixedFileVersion, SameAsTheSystemForTheSystemFolder) {
  const std::vector<std::wstring> files = SystemPrograms();
  ASSERT_GT(files.size(), 50u);
  int withVersion = 0;
  for (const std::wstring& file : files) {
    VS_FIXEDFILEINFO ours{};
    VS_FIXEDFILEINFO system{};
    const bool read = ReadFixedFileVersion(file.c_str(), ours);
    const bool systemRead = SystemFixedFileVersion(file, system);
    EXPECT_EQ(read, systemRead) << testing::PrintToString(file);
    if (!read || !systemRead) continue;
    ++withVersion;
    EXPECT_EQ(std::memcmp(&ours, &system, sizeof ours), 0) << testing::PrintToString(file);
  }
  EXPECT_GT(withVersion, 0);
}

// The edition is looked up once per process, so each case is a test of its own.
TEST(StoryloomEdition, OldEditionSelectsTheSecondGroup) {
  ScopedMachineKey key(kStoryloomKey, KEY_WOW64_32KEY);
  key.SetString(L"CurrentVersion", L"1.0");
  EXPECT_FALSE(PassesStoryloomVariant(499));
  EXPECT_FALSE(PassesStoryloomVariant(511));
  EXPECT_TRUE(PassesStoryloomVariant(512));
  EXPECT_TRUE(PassesStoryloomVariant(524));
  EXPECT_TRUE(PassesStoryloomVariant(401));
  // Decided once: a later change of the value does not count.
  key.SetString(L"CurrentVersion", L"2.0");
  EXPECT_TRUE(PassesStoryloomVariant(512));
}

TEST(StoryloomEdition, EmptyValueMeansTheOldEdition) {
  ScopedMachineKey key(kStoryloomKey, KEY_WOW64_32KEY);
  key.SetRaw(L"CurrentVersion", REG_SZ, L"", 0);
  EXPECT_TRUE(PassesStoryloomVariant(512));
  EXPECT_FALSE(PassesStoryloomVariant(499));
}

TEST(StoryloomEdition, ModernEditionSelectsTheFirstGroup) {
  ScopedMachineKey key(kStoryloomKey, KEY_WOW64_32KEY);
  key.SetString(L"CurrentVersion", L"2.0");
  EXPECT_TRUE(PassesStoryloomVariant(499));
  EXPECT_FALSE(PassesStoryloomVariant(512));
}

TEST(StoryloomEdition, MissingKeyCountsAsModern) {
  DeleteMachineKey(kStoryloomKey, KEY_WOW64_32KEY);
  EXPECT_TRUE(PassesStoryloomVariant(505));
  EXPECT_FALSE(PassesStoryloomVariant(520));
}

TEST(StoryloomEdition, ValueOfAnotherTypeCountsAsModern) {
  ScopedMachineKey key(kStoryloomKey, KEY_WOW64_32KEY);
  key.SetDword(L"CurrentVersion", 1);
  EXPECT_TRUE(PassesStoryloomVariant(505));
  EXPECT_FALSE(PassesStoryloomVariant(520));
}

}  // namespace
