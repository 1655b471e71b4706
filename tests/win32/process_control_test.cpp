// Closing and starting programs by name and path, against child processes
// that the tests start themselves (copies of the progress probe).
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "base/win32_raii.h"
#include "control/process_tools.h"
#include "control/portable/product_folders.h"
#include "control/quit_request.h"
#include "control/relaunch.h"
#include "control/user_start.h"
#include "probe_program.h"

namespace {

// The parent process id of the first process of that name; 0 when none runs.
DWORD ParentOfProcessNamed(const wchar_t* name) {
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    if (std::wcscmp(entry.szExeFile, name) == 0) return entry.th32ParentProcessID;
  }
  return 0;
}

TEST(ProcessesNamed, EachProcessOfTheNameWithItsOwnImageAndStartTime) {
  ProbeProgram here(TempFolderPath(), L"NamedProbe.exe");
  ProbeProgram elsewhere(TempFolderPath() + L"\\elsewhere", L"NamedProbe.exe");
  ASSERT_TRUE(here.Copied() && elsewhere.Copied());
  EXPECT_FALSE(IsProgramRunning(here.Path()));
  const HANDLE first = elsewhere.Start();
  ASSERT_TRUE(first);
  ASSERT_TRUE(WaitForProcessCount(L"NamedProbe.exe", 1, 10000));
  // A program of that name runs, but not from this file.
  EXPECT_FALSE(IsProgramRunning(here.Path()));
  EXPECT_TRUE(IsProgramRunning(elsewhere.Path()));
  const HANDLE second = here.Start();
  ASSERT_TRUE(second);
  ASSERT_TRUE(WaitForProcessCount(L"NamedProbe.exe", 2, 10000));
  EXPECT_TRUE(IsProgramRunning(here.Path()));

  const std::vector<RunningProcess> found = ProcessesNamed(L"namedprobe.EXE");
  ASSERT_EQ(found.size(), 2u);
  for (const RunningProcess& process : found) {
    const bool isFirst = process.processId == GetProcessId(first);
    EXPECT_TRUE(isFirst || process.processId == GetProcessId(second)) << process.processId;
    EXPECT_TRUE(SameFilePath(process.imagePath, isFirst ? elsewhere.Path() : here.Path())) << process.imagePath;
    EXPECT_EQ(process.startTime, ProcessStartTime(isFirst ? first : second));
    EXPECT_NE(process.startTime, 0u);
  }
  EXPECT_TRUE(ProcessesNamed(L"NoSuchProgram.exe").empty());
}

TEST(IsProcessRunning, SeesAChildByItsExactName) {
  ProbeProgram probe(TempFolderPath(), L"SeenProbe.exe");
  ASSERT_TRUE(probe.Copied());
  EXPECT_FALSE(IsProcessRunning(L"SeenProbe.exe"));
  ASSERT_TRUE(probe.Start());
  EXPECT_TRUE(IsProcessRunning(L"SeenProbe.exe"));
  EXPECT_FALSE(IsProcessRunning(L"seenprobe.exe"));
}

TEST(AskProgramToQuit, NothingIsStartedForAMissingFileOrAProgramNotRunningFromIt) {
  ProbeProgram idle(TempFolderPath(), L"IdleProbe.exe");  // the file exists, no process runs
  ASSERT_TRUE(idle.Copied());
  ProbeProgram namesake(TempFolderPath() + L"\\elsewhere", L"IdleProbe.exe");
  ASSERT_TRUE(namesake.Copied());
  ASSERT_TRUE(namesake.Start());  // runs, but from another file of the same name
  ASSERT_TRUE(WaitForProcessCount(L"IdleProbe.exe", 1, 10000));
  const DWORD start = GetTickCount();
  EXPECT_EQ(AskProgramToQuit(nullptr, L"/q").outcome, QuitOutcome::kFileNotFound);
  EXPECT_EQ(AskProgramToQuit(L"", L"/q").outcome, QuitOutcome::kFileNotFound);
  EXPECT_EQ(AskProgramToQuit((TempFolderPath() + L"\\missing\\IdleProbe.exe").c_str(), L"/Q").outcome,
            QuitOutcome::kFileNotFound);
  EXPECT_EQ(AskProgramToQuit(idle.Path().c_str(), L"/q").outcome, QuitOutcome::kNotRunning);
  EXPECT_LT(GetTickCount() - start, 2000u);  // none of them waits
  EXPECT_EQ(CountProcessesNamed(L"IdleProbe.exe"), 1);
}

TEST(AskProgramToQuit, ARequestThatCannotBeStartedIsNotWaitedFor) {
  ProbeProgram probe(TempFolderPath() + L"\\unstartable", L"UnstartableProbe.exe");
  ASSERT_TRUE(probe.Copied());
  const HANDLE running = probe.Start();
  ASSERT_TRUE(running);
  ASSERT_TRUE(WaitForProcessCount(probe.Name(), 1, 10000));
  // The running program's file is moved aside and something that is no
  // program takes its place: the file exists and the program runs from it,
  // but it cannot be started.
  const std::wstring moved = probe.Path() + L".moved";
  ASSERT_TRUE(MoveFileW(probe.Path().c_str(), moved.c_str()));
  {
    UniqueFileHandle file(CreateFileW(probe.Path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(file);
    const char text[] = "not a program";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.Get(), text, sizeof text, &written, nullptr));
  }
  ASSERT_TRUE(IsProgramRunning(probe.Path()));

  const DWORD start = GetTickCount();
  const QuitResult result = AskProgramToQuit(probe.Path().c_str(), L"/q");
  EXPECT_LT(GetTickCount() - start, 1000u);
  EXPECT_EQ(result.outcome, QuitOutcome::kNotStarted);
  EXPECT_NE(result.error, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(WaitForSingleObject(running, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  TerminateProcess(running, 0);
  WaitForSingleObject(running, 5000);
  DeleteFileW(moved.c_str());
}

TEST(AskProgramToQuit, ARunningProgramIsStartedWithTheSwitchAndGivenFiveSeconds) {
  ProbeProgram probe(TempFolderPath(), L"QuitProbe.exe");
  ASSERT_TRUE(probe.Copied());
  ASSERT_TRUE(probe.Start());
  ASSERT_TRUE(WaitForProcessCount(probe.Name(), 1, 10000));
  // The probe takes its parameter as the time to stay: a second instance that
  // is still there after the wait shows that the switch was passed.
  const DWORD start = GetTickCount();
  EXPECT_EQ(AskProgramToQuit(probe.Path().c_str(), L"30000").outcome, QuitOutcome::kStillRunning);
  EXPECT_GE(GetTickCount() - start, 4990u);
  EXPECT_EQ(CountProcessesNamed(probe.Name()), 2);
}

TEST(AskProgramToQuit, TheWaitEndsWhenTheProgramHasGone) {
  ProbeProgram probe(TempFolderPath(), L"QuickProbe.exe");
  ASSERT_TRUE(probe.Copied());
  const DWORD start = GetTickCount();
  ASSERT_TRUE(probe.Start(1500));  // takes 1.5 s to go
  ASSERT_TRUE(WaitForProcessCount(probe.Name(), 1, 10000));
  // The quit instance stays 0.2 s.
  EXPECT_EQ(AskProgramToQuit(probe.Path().c_str(), L"200").outcome, QuitOutcome::kEnded);
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

TEST(RelaunchTvRecorder, WithoutAShellWindowTheShellStartsItNotTheUpdater) {
  // Wine's desktop registers no shell window, so there is no shell's token to
  // take; its shell objects can still start a program.
  ASSERT_EQ(GetShellWindow(), nullptr);
  ASSERT_TRUE(GetProgramFilesFolder());
  EXPECT_EQ(TvRecorderPath(), ProgramFilesFolder() + L"\\Orvane\\Tunerbay\\Kestrav.exe");
  const std::wstring vendor = ProgramFilesFolder() + L"\\Orvane";
  {
    ProbeProgram application(vendor + L"\\Tunerbay", L"Kestrav.exe");
    ASSERT_TRUE(application.Copied());
    EXPECT_TRUE(RelaunchTvRecorder());
    ASSERT_TRUE(WaitForProcessCount(L"Kestrav.exe", 1, 10000));
    // Started by this process it would run elevated, as the updater does.
    const DWORD parent = ParentOfProcessNamed(L"Kestrav.exe");
    EXPECT_NE(parent, 0u);
    EXPECT_NE(parent, GetCurrentProcessId());
  }
  RemoveDirectoryW((vendor + L"\\Tunerbay").c_str());
  RemoveDirectoryW(vendor.c_str());
}

TEST(StartAsUserOfProcess, StartsWithTheTokenOfAnotherProcessOnlyWhereThereIsOne) {
  ProbeProgram probe(TempFolderPath(), L"TokenProbe.exe");
  ASSERT_TRUE(probe.Copied());
  EXPECT_EQ(StartAsUserOfProcess(0, probe.Path()), static_cast<DWORD>(ERROR_INVALID_PARAMETER));  // no shell
  EXPECT_EQ(CountProcessesNamed(L"TokenProbe.exe"), 0);
  EXPECT_EQ(StartAsUserOfProcess(GetCurrentProcessId(), probe.Path()), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(WaitForProcessCount(L"TokenProbe.exe", 1, 10000));
}

}  // namespace
