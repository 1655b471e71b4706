// The start-up checks that read the machine: silent mode, administrator
// membership, running processes and the Program Files folder.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "app/admin_check.h"
#include "base/module_state.h"
#include "app/os_version_cache.h"
#include "app/silent_mode.h"
#include "app/tv_recorder.h"
#include "control/process_tools.h"
#include "test_registry.h"

namespace {

const wchar_t kUpdateToolKey[] = L"SOFTWARE\\Orvane Corporation\\Teloq Update";

TEST(SilentMode, OnlyTheNumberOneMeansSilent) {
  DeleteMachineKey(kUpdateToolKey);
  EXPECT_FALSE(IsLaunchedByUpdateTool());
  ScopedMachineKey key(kUpdateToolKey);
  EXPECT_FALSE(IsLaunchedByUpdateTool());  // key without value
  key.SetDword(L"LaunchInstaller", 1);
  EXPECT_TRUE(IsLaunchedByUpdateTool());
  key.SetDword(L"LaunchInstaller", 2);
  EXPECT_FALSE(IsLaunchedByUpdateTool());
  key.SetString(L"LaunchInstaller", L"1");
  EXPECT_FALSE(IsLaunchedByUpdateTool());
  key.SetString(L"LaunchInstaller", L"a much longer text than four bytes");
  EXPECT_FALSE(IsLaunchedByUpdateTool());
}

TEST(AdministratorCheck, CompletesForAnAdministrator) {
  bool member = false;
  EXPECT_TRUE(IsAdministratorsMember(member));
  EXPECT_TRUE(member);
}

TEST(OsVersion, ReadOnceAsNt) {
  const OsVersionData& first = OsVersionCache();
  EXPECT_EQ(first.platformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_GE(first.majorVersion, 5u);
  EXPECT_EQ(&OsVersionCache(), &first);
}

TEST(ProcessTools, NamesMatchExactlyWithCase) {
  wchar_t own[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, own, MAX_PATH);
  const std::wstring name = wcsrchr(own, L'\\') + 1;
  EXPECT_TRUE(IsProcessRunning(name.c_str()));
  std::wstring upper = name;
  for (auto& c : upper) c = towupper(c);
  EXPECT_FALSE(IsProcessRunning(upper.c_str()));
  EXPECT_FALSE(IsProcessRunning(name.substr(1).c_str()));
  EXPECT_FALSE(IsProcessRunning(nullptr));
}

TEST(ProcessTools, ProgramFilesFolderWithoutTrailingBackslash) {
  SKIP_IN_64_BIT_PROCESS();
  ASSERT_TRUE(GetProgramFilesFolder());
  const std::wstring& folder = ProgramFilesFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), L'\\');
  EXPECT_NE(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
  // A 32-bit process gets the 32-bit Program Files folder.
  wchar_t x86[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, x86, CSIDL_PROGRAM_FILESX86, FALSE);
  EXPECT_EQ(folder, x86);
}

TEST(TvRecorder, NotRunningMeansNothingToClose) {
  SetModuleInstance(GetModuleHandleW(nullptr));
  CloseTvRecorder();  // returns: nothing is asked, nothing ends the process
  EXPECT_FALSE(TvRecorderRelaunchPending());
}

}  // namespace
