// The shutdown on a machine where none of the product's software is installed,
// and the reading of a listed process's image path.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/win32_raii.h"
#include "control/affected_processes.h"
#include "control/process_tools.h"
#include "control/shutdown.h"
#include "probe_program.h"
#include "test_registry.h"

namespace {

const wchar_t kUpdateToolKey[] = L"SOFTWARE\\Orvane Corporation\\Teloq Update";

bool IsCleared(const RestartManagerState& state) {
  static const RestartManagerState empty{};
  return state.session == kNoRestartManagerSession && state.count == 0 &&
         std::memcmp(state.processes, empty.processes, sizeof empty.processes) == 0;
}

TEST(AffectedProcessImage, ReadsTheImagePathOfAListedProcess) {
  ProbeProgram probe(TempFolderPath(), L"ImageProbe.exe");
  ASSERT_TRUE(probe.Copied());
  const HANDLE child = probe.Start();
  ASSERT_TRUE(child);
  RestartManagerState& state = AffectedProcessState();
  state.processes[0].Process.dwProcessId = GetProcessId(child);
  state.processes[1].Process.dwProcessId = 0;  // cannot be opened
  state.count = 2;

  wchar_t buffer[kImagePathChars];
  std::wmemset(buffer, L'x', kImagePathChars);
  EXPECT_EQ(GetAffectedProcessImage(0, buffer), 1);
  const std::wstring image = buffer;
  EXPECT_EQ(image.rfind(L"\\Device\\", 0), 0u) << image.c_str();
  ASSERT_GT(image.size(), 15u);
  EXPECT_EQ(image.substr(image.size() - 15), L"\\ImageProbe.exe") << image.c_str();

  std::wmemset(buffer, L'x', kImagePathChars);
  EXPECT_EQ(GetAffectedProcessImage(1, buffer), 1);
  EXPECT_STREQ(buffer, L"");
  for (int32_t outside : {2, -1}) {
    std::wmemset(buffer, L'x', kImagePathChars);
    EXPECT_EQ(GetAffectedProcessImage(outside, buffer), 0) << outside;
    EXPECT_STREQ(buffer, L"");
  }
  state.count = kMaxAffectedProcesses + 1;  // never more records than the array holds
  EXPECT_EQ(GetAffectedProcessImage(kMaxAffectedProcesses, buffer), 0);

  EndLibraryQuery();
  EXPECT_TRUE(IsCleared(state));
}

struct FailureReport {
  DWORD error;
  bool shown = false;
};

DWORD WINAPI ReportOnThread(void* parameter) {
  auto* report = static_cast<FailureReport*>(parameter);
  report->shown = ReportImageReadFailure(report->error);
  return 0;
}

BOOL CALLBACK KeepDialogWindow(HWND window, LPARAM out) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (std::wcscmp(name, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(out) = window;
  return FALSE;
}

HWND FindBoxOfThread(DWORD threadId, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  do {
    HWND found = nullptr;
    EnumThreadWindows(threadId, KeepDialogWindow, reinterpret_cast<LPARAM>(&found));
    if (found) return found;
    Sleep(100);
  } while (GetTickCount() - start < timeoutMs);
  return nullptr;
}

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

std::wstring SystemText(DWORD error) {
  UniqueLocal text;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, LANG_USER_DEFAULT,
                 reinterpret_cast<LPWSTR>(text.Receive()), 0, nullptr);
  return text ? static_cast<const wchar_t*>(text.Get()) : L"";
}

TEST(ImageReadFailure, ShowsTheSystemTextToAUser) {
  DeleteMachineKey(kUpdateToolKey);
  FailureReport report{ERROR_ACCESS_DENIED};
  DWORD threadId = 0;
  UniqueHandle thread(CreateThread(nullptr, 0, ReportOnThread, &report, 0, &threadId));
  ASSERT_TRUE(thread);
  const HWND box = FindBoxOfThread(threadId, 10000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(TextOf(box), L"");  // no caption
  const std::wstring expected = SystemText(ERROR_ACCESS_DENIED);
  EXPECT_FALSE(expected.empty());
  bool textFound = false;
  for (int id : {0xFFFF, 100}) {  // the text control: Windows numbers it 0xFFFF, Wine 100
    if (GetDlgItem(box, id) && TextOf(GetDlgItem(box, id)) == expected) textFound = true;
  }
  EXPECT_TRUE(textFound);
  EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
  EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  ASSERT_EQ(WaitForSingleObject(thread.Get(), 10000), WAIT_OBJECT_0);
  EXPECT_TRUE(report.shown);
}

TEST(ImageReadFailure, ShowsNothingWhenStartedSilently) {
  ScopedMachineKey key(kUpdateToolKey);
  key.SetDword(L"LaunchInstaller", 1);
  FailureReport report{ERROR_ACCESS_DENIED};
  DWORD threadId = 0;
  UniqueHandle thread(CreateThread(nullptr, 0, ReportOnThread, &report, 0, &threadId));
  ASSERT_TRUE(thread);
  // A box would hold the thread until someone closes it.
  ASSERT_EQ(WaitForSingleObject(thread.Get(), 10000), WAIT_OBJECT_0);
  EXPECT_FALSE(report.shown);
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

TEST(CloseRunningSoftware, WithNothingInstalledOnlyTheSocialNetworkHelperEnds) {
  ProbeProgram helper(TempFolderPath(), L"Socialink.exe");
  ProbeProgram knownElsewhere(TempFolderPath(), L"Travio.exe");  // a known name, not in the product folder
  ASSERT_TRUE(helper.Copied() && knownElsewhere.Copied());
  const HANDLE helperProcess = helper.Start();
  const HANDLE knownProcess = knownElsewhere.Start();
  ASSERT_TRUE(helperProcess && knownProcess);
  ASSERT_TRUE(WaitForProcessCount(L"Socialink.exe", 1, 10000));

  const DWORD start = GetTickCount();
  CloseRunningSoftware();
  const DWORD elapsed = GetTickCount() - start;

  ASSERT_EQ(WaitForSingleObject(helperProcess, 0), WAIT_OBJECT_0) << "not waited for until it had gone";
  DWORD code = 0;
  GetExitCodeProcess(helperProcess, &code);
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  // Its file is not where the product keeps it: the program is not asked to quit.
  EXPECT_EQ(WaitForSingleObject(knownProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(CountProcessesNamed(L"Travio.exe"), 1);
  // One termination, waited for until the process has gone, and the service
  // queries; no wait after a program that was not asked to quit.
  EXPECT_LT(elapsed, 2000u);
  EXPECT_TRUE(IsCleared(AffectedProcessState()));
  EXPECT_FALSE(ProgramFilesFolder().empty());
}

}  // namespace
