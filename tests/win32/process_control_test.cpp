// Closing and starting programs by name and path, against child processes
// that the tests start themselves (copies of the progress probe).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/win32_raii.h"
#include "control/process_tools.h"
#include "control/quit_request.h"
#include "control/relaunch.h"
#include "probe_program.h"

namespace {

DWORD ExitCodeOf(HANDLE process) {
  DWORD code = 0xFFFFFFFF;
  GetExitCodeProcess(process, &code);
  return code;
}

bool HasEnded(HANDLE process, DWORD waitMs = 5000) { return WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0; }

TEST(TerminateProcessesByName, EndsEveryProcessOfTheExactNameWithItsOwnExitCode) {
  ProbeProgram probe(TempFolderPath(), L"TermProbe.exe");
  ASSERT_TRUE(probe.Copied());
  const HANDLE first = probe.Start();
  const HANDLE second = probe.Start();
  ASSERT_TRUE(first && second);
  ASSERT_TRUE(WaitForProcessCount(probe.Name(), 2, 10000));

  // Another case or a part of the name matches nothing; that is no failure.
  for (const wchar_t* other : {L"termprobe.exe", L"TERMPROBE.EXE", L"TermProbe", L"Probe.exe"}) {
    EXPECT_TRUE(TerminateProcessesByName(other)) << other;
  }
  EXPECT_FALSE(HasEnded(first, 0));
  EXPECT_FALSE(HasEnded(second, 0));

  const DWORD start = GetTickCount();
  EXPECT_TRUE(TerminateProcessesByName(L"TermProbe.exe"));
  const DWORD elapsed = GetTickCount() - start;
  // Each is waited for until it has gone, not a fixed 2 s.
  ASSERT_TRUE(HasEnded(first, 0));
  ASSERT_TRUE(HasEnded(second, 0));
  EXPECT_LT(elapsed, 2000u);
  // A running process reports STILL_ACTIVE, and that is the code it is ended with.
  EXPECT_EQ(ExitCodeOf(first), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(ExitCodeOf(second), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_FALSE(IsProcessRunning(L"TermProbe.exe"));
}

TEST(TerminateProcessesByName, NullNameFailsAndNoMatchSucceedsAtOnce) {
  EXPECT_FALSE(TerminateProcessesByName(nullptr));
  const DWORD start = GetTickCount();
  EXPECT_TRUE(TerminateProcessesByName(L"NoSuchProgram.exe"));
  EXPECT_TRUE(TerminateProcessesByName(L""));
  EXPECT_LT(GetTickCount() - start, 1000u);
}

TEST(IsProcessRunning, SeesAChildByItsExactName) {
  ProbeProgram probe(TempFolderPath(), L"SeenProbe.exe");
  ASSERT_TRUE(probe.Copied());
  EXPECT_FALSE(IsProcessRunning(L"SeenProbe.exe"));
  ASSERT_TRUE(probe.Start());
  EXPECT_TRUE(IsProcessRunning(L"SeenProbe.exe"));
  EXPECT_FALSE(IsProcessRunning(L"seenprobe.exe"));
}

TEST(AskProgramToQuit, NothingIsStartedForAMissingFileOrAProgramNotRunning) {
  ProbeProgram idle(TempFolderPath(), L"IdleProbe.exe");  // the file exists, no process runs
  ASSERT_TRUE(idle.Copied());
  ProbeProgram elsewhere(TempFolderPath() + L"\\elsewhere", L"ElsewhereProbe.exe");
  ASSERT_TRUE(elsewhere.Copied());
  ASSERT_TRUE(elsewhere.Start());  // runs, but the path asked for does not exist
  const DWORD start = GetTickCount();
  EXPECT_FALSE(AskProgramToQuit(nullptr, L"/q"));
  EXPECT_FALSE(AskProgramToQuit(L"", L"/q"));
  EXPECT_FALSE(AskProgramToQuit((TempFolderPath() + L"\\missing\\ElsewhereProbe.exe").c_str(), L"/Q"));
  EXPECT_FALSE(AskProgramToQuit(idle.Path().c_str(), L"/q"));
  EXPECT_LT(GetTickCount() - start, 2000u);  // none of them waits
  EXPECT_EQ(CountProcessesNamed(L"IdleProbe.exe"), 0);
  EXPECT_EQ(CountProcessesNamed(L"ElsewhereProbe.exe"), 1);
}

TEST(AskProgramToQuit, RunningProgramIsStartedWithTheSwitchAndGivenFiveSeconds) {
  ProbeProgram probe(TempFolderPath(), L"QuitProbe.exe");
  ASSERT_TRUE(probe.Copied());
  ASSERT_TRUE(probe.Start());
  ASSERT_TRUE(WaitForProcessCount(probe.Name(), 1, 10000));
  // The probe takes its parameter as the time to stay: a second instance that
  // is still there after the wait shows that the switch was passed.
  const DWORD start = GetTickCount();
  EXPECT_TRUE(AskProgramToQuit(probe.Path().c_str(), L"30000"));
  EXPECT_GE(GetTickCount() - start, 4990u);
  EXPECT_EQ(CountProcessesNamed(probe.Name()), 2);
}

TEST(AskProgramToQuit, TheWaitEndsWhenTheProgramHasGone) {
  ProbeProgram probe(TempFolderPath(), L"QuickProbe.exe");
  ASSERT_TRUE(probe.Copied());
  const DWORD start = GetTickCount();
  ASSERT_TRUE(probe.Start(1500));  // takes 1.5 s to go
  ASSERT_TRUE(WaitForProcessCount(probe.Name(), 1, 10000));
  EXPECT_TRUE(AskProgramToQuit(probe.Path().c_str(), L"200"));  // the quit instance stays 0.2 s
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_EQ(CountProcessesNamed(probe.Name()), 0);
  EXPECT_GE(elapsed, 1400u) << "returned before the program had gone";
  EXPECT_LT(elapsed, 4500u) << "waited longer than the program took";
}

TEST(RelaunchTvRecorder, MissingApplicationIsNotStarted) {
  ASSERT_TRUE(GetProgramFilesFolder());
  ASSERT_EQ(GetFileAttributesW(TvRecorderPath().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(RelaunchTvRecorder());
  EXPECT_FALSE(IsProcessRunning(L"Kestrav.exe"));
}

TEST(RelaunchTvRecorder, StartsTheApplicationUnderProgramFiles) {
  ASSERT_TRUE(GetProgramFilesFolder());
  EXPECT_EQ(TvRecorderPath(), ProgramFilesFolder() + L"\\Orvane\\Tunerbay\\Kestrav.exe");
  const std::wstring vendor = ProgramFilesFolder() + L"\\Orvane";
  {
    ProbeProgram application(vendor + L"\\Tunerbay", L"Kestrav.exe");
    ASSERT_TRUE(application.Copied());
    EXPECT_TRUE(RelaunchTvRecorder());
    EXPECT_TRUE(WaitForProcessCount(L"Kestrav.exe", 1, 10000));
  }
  RemoveDirectoryW((vendor + L"\\Tunerbay").c_str());
  RemoveDirectoryW(vendor.c_str());
}

TEST(StartAsUserOfProcess, StartsWithTheTokenOfAnotherProcessOnlyWhereThereIsOne) {
  ProbeProgram probe(TempFolderPath(), L"TokenProbe.exe");
  ASSERT_TRUE(probe.Copied());
  EXPECT_FALSE(StartAsUserOfProcess(0, probe.Path()));  // no shell
  EXPECT_EQ(CountProcessesNamed(L"TokenProbe.exe"), 0);
  EXPECT_TRUE(StartAsUserOfProcess(GetCurrentProcessId(), probe.Path()));
  EXPECT_TRUE(WaitForProcessCount(L"TokenProbe.exe", 1, 10000));
}

}  // namespace
