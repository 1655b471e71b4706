// The shutdown on a machine where none of the product's software is installed,
// and what is read of, and done to, a listed process.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/win32_raii.h"
#include "control/affected_processes.h"
#include "control/process_tools.h"
#include "control/portable/product_folders.h"
#include "control/shutdown.h"
#include "probe_program.h"

namespace {

bool IsCleared(const RestartManagerState& state) {
  static const RestartManagerState empty{};
  return state.session == kNoRestartManagerSession && state.count == 0 &&
         std::memcmp(state.processes, empty.processes, sizeof empty.processes) == 0;
}

TEST(ReadAffectedProcess, TheKindAndFullImagePathOfAListedProcess) {
  ProbeProgram probe(TempFolderPath(), L"ImageProbe.exe");
  ASSERT_TRUE(probe.Copied());
  const HANDLE child = probe.Start();
  ASSERT_TRUE(child);
  RestartManagerState& state = AffectedProcessState();
  state.processes[0].Process.dwProcessId = GetProcessId(child);
  state.processes[0].ApplicationType = RmCritical;
  state.processes[1].Process.dwProcessId = 0;  // cannot be opened
  state.processes[1].ApplicationType = RmService;
  state.count = 2;

  DWORD error = ERROR_GEN_FAILURE;
  ListedProcess listed = ReadAffectedProcess(0, error);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(listed.kind, ListedKind::kCritical);
  // The Win32 form, comparable with the product's folders.
  EXPECT_TRUE(SameFilePath(listed.imagePath, probe.Path())) << listed.imagePath.c_str();

  listed = ReadAffectedProcess(1, error);
  EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(listed.kind, ListedKind::kService);
  EXPECT_EQ(listed.imagePath, L"");
  for (int32_t outside : {2, -1}) {
    listed = ReadAffectedProcess(outside, error);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_INDEX)) << outside;
    EXPECT_EQ(listed.imagePath, L"");
  }
  state.count = kMaxAffectedProcesses + 1;  // never more records than the array holds
  ReadAffectedProcess(kMaxAffectedProcesses, error);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_INDEX));

  EndLibraryQuery();
  EXPECT_TRUE(IsCleared(state));
}

RM_UNIQUE_PROCESS Listed(HANDLE process, LONGLONG startTimeShift = 0) {
  FILETIME created{}, exited{}, kernel{}, user{};
  GetProcessTimes(process, &created, &exited, &kernel, &user);
  ULARGE_INTEGER time{};
  time.LowPart = created.dwLowDateTime;
  time.HighPart = created.dwHighDateTime;
  time.QuadPart += startTimeShift;
  return {GetProcessId(process), {time.LowPart, time.HighPart}};
}

TEST(TerminateAffectedProcess, OnlyTheListedProcessWhileItsIdStillNamesIt) {
  ProbeProgram listed(TempFolderPath(), L"TwinProbe.exe");
  ProbeProgram other(TempFolderPath() + L"\\elsewhere", L"TwinProbe.exe");
  ASSERT_TRUE(listed.Copied() && other.Copied());
  const HANDLE listedProcess = listed.Start();
  const HANDLE otherProcess = other.Start();
  ASSERT_TRUE(listedProcess && otherProcess);
  ASSERT_TRUE(WaitForProcessCount(L"TwinProbe.exe", 2, 10000));

  RestartManagerState& state = AffectedProcessState();
  state.count = 3;
  state.processes[0].Process = Listed(listedProcess, 1);  // the id now names a later process
  state.processes[1].Process = Listed(GetCurrentProcess());
  state.processes[2].Process = Listed(listedProcess);
  EXPECT_FALSE(TerminateAffectedProcess(0));
  EXPECT_EQ(WaitForSingleObject(listedProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(TerminateAffectedProcess(1));  // never the updater itself
  EXPECT_FALSE(TerminateAffectedProcess(3));  // not listed
  EXPECT_TRUE(TerminateAffectedProcess(2));
  EXPECT_EQ(WaitForSingleObject(listedProcess, 5000), WAIT_OBJECT_0);
  // The other process of the same name goes on.
  EXPECT_EQ(WaitForSingleObject(otherProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EndLibraryQuery();
}

TEST(CloseRunningSoftware, WithNothingInstalledProgramsOfTheProductsNamesElsewhereAreLeft) {
  ProbeProgram helper(TempFolderPath(), L"Socialink.exe");
  ProbeProgram known(TempFolderPath(), L"Travio.exe");
  ASSERT_TRUE(helper.Copied() && known.Copied());
  const HANDLE helperProcess = helper.Start();
  const HANDLE knownProcess = known.Start();
  ASSERT_TRUE(helperProcess && knownProcess);
  ASSERT_TRUE(WaitForProcessCount(L"Socialink.exe", 1, 10000));
  ASSERT_TRUE(WaitForProcessCount(L"Travio.exe", 1, 10000));

  const DWORD start = GetTickCount();
  CloseRunningSoftware();
  const DWORD elapsed = GetTickCount() - start;

  // Neither file is the product's: neither is terminated nor asked to quit.
  EXPECT_EQ(WaitForSingleObject(helperProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(knownProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(CountProcessesNamed(L"Travio.exe"), 1);
  // Only the service queries: no wait after a program that was not asked to quit.
  EXPECT_LT(elapsed, 2000u);
  EXPECT_TRUE(IsCleared(AffectedProcessState()));
  EXPECT_FALSE(ProgramFilesFolder().empty());
}

}  // namespace
