// The patch session with phases of the tests' own: order of the steps, the
// result's path, the stop event, and the ways a session can end early.
#include <windows.h>

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "app/patch_process.h"
#include "app/run_patch_session.h"

namespace {

// What the phases saw; each test runs in a process of its own.
std::vector<std::string> g_steps;
HRESULT g_prepareResult = S_OK;
HRESULT g_installResult = S_OK;
HRESULT g_finishSaw = 0;
HRESULT g_prepareSaw = -1;
PatchContext* g_contextSeen = nullptr;
size_t g_rowsSeen = 0;
std::wstring g_firstRowSeen;
CPatchProcess* g_process = nullptr;
HRESULT g_secondRun = 0;

HRESULT RecordingPrepare(HRESULT result, HANDLE, const InstallList* list, PatchContext* context) {
  g_steps.push_back("prepare");
  g_prepareSaw = result;
  g_contextSeen = context;
  g_rowsSeen = list->size();
  if (!list->empty()) g_firstRowSeen = list->front().fileName;
  return g_prepareResult;
}

HRESULT RecordingInstall(const InstallList&, HINSTANCE, HANDLE) {
  g_steps.push_back("install");
  return g_installResult;
}

HRESULT RecordingFinish(HRESULT result, HANDLE, const InstallList*, PatchContext*) {
  g_steps.push_back("finish");
  g_finishSaw = result;
  return result;
}

InstallList TwoRows() {
  InstallList list(2);
  list[0].resourceId = 401;
  list[0].fileName = L"C:\\a\\core-ui.dll";
  list[1].resourceId = 402;
  list[1].fileName = L"C:\\a\\b.dll";
  return list;
}

TEST(PatchSession, RunsPrepareInstallFinishInOrder) {
  g_installResult = 7;
  CPatchProcess process({RecordingPrepare, RecordingInstall, RecordingFinish});
  PatchContext context;
  const HRESULT result = process.Run(TwoRows(), &context, L"Mirevo", GetModuleHandleW(nullptr));
  EXPECT_EQ(g_steps, (std::vector<std::string>{"prepare", "install", "finish"}));
  EXPECT_EQ(g_prepareSaw, S_OK);
  EXPECT_EQ(g_contextSeen, &context);
  EXPECT_EQ(g_rowsSeen, 2u);  // the session's own copy of the list
  EXPECT_EQ(g_firstRowSeen, L"C:\\a\\core-ui.dll");
  EXPECT_EQ(g_finishSaw, 7);  // the installation's result reaches the finish phase
  EXPECT_EQ(result, 7);
}

TEST(PatchSession, FailedPrepareSkipsInstallationButNotTheFinishPhase) {
  g_prepareResult = static_cast<HRESULT>(0x80070005);
  CPatchProcess process({RecordingPrepare, RecordingInstall, RecordingFinish});
  PatchContext context;
  const HRESULT result = process.Run(TwoRows(), &context, L"Mirevo", GetModuleHandleW(nullptr));
  EXPECT_EQ(g_steps, (std::vector<std::string>{"prepare", "finish"}));
  EXPECT_EQ(g_finishSaw, static_cast<HRESULT>(0x80070005));
  EXPECT_EQ(result, static_cast<HRESULT>(0x80070005));
}

HRESULT InstallThatThrows(const InstallList&, HINSTANCE, HANDLE) {
  g_steps.push_back("install");
  if (g_installResult == E_OUTOFMEMORY) throw std::bad_alloc();
  throw 42;  // anything else a phase might let out
}

HRESULT FinishThatThrows(HRESULT result, HANDLE, const InstallList*, PatchContext*) {
  g_steps.push_back("finish");
  g_finishSaw = result;
  throw std::bad_alloc();
}

// An exception on the worker must not end the process: it becomes the
// phase's result, and the finish phase still runs to start again what the
// prepare phase stopped.
TEST(PatchSession, ExceptionInAPhaseBecomesItsResultAndTheFinishPhaseRuns) {
  for (const HRESULT kind : {E_OUTOFMEMORY, E_UNEXPECTED}) {
    g_steps.clear();
    g_installResult = kind;
    CPatchProcess process({RecordingPrepare, InstallThatThrows, RecordingFinish});
    PatchContext context;
    const HRESULT result = process.Run(TwoRows(), &context, L"Mirevo", GetModuleHandleW(nullptr));
    EXPECT_EQ(g_steps, (std::vector<std::string>{"prepare", "install", "finish"}));
    EXPECT_EQ(g_finishSaw, kind);
    EXPECT_EQ(result, kind);
  }
  g_steps.clear();
  CPatchProcess process({RecordingPrepare, RecordingInstall, FinishThatThrows});
  PatchContext context;
  g_installResult = S_OK;
  EXPECT_EQ(process.Run(TwoRows(), &context, L"Mirevo", GetModuleHandleW(nullptr)), E_OUTOFMEMORY);
  EXPECT_EQ(g_finishSaw, S_OK);
}

// What the progress window answers when Windows asks whether the session may end.
std::vector<LRESULT> g_endSessionAnswers;

void AskToEndSession() {
  DWORD_PTR answer = 0xDEAD;
  SendMessageTimeoutW(g_process->ProgressWindow(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000,
                      &answer);
  g_endSessionAnswers.push_back(static_cast<LRESULT>(answer));
}

HRESULT PrepareThatAsks(HRESULT, HANDLE, const InstallList*, PatchContext*) {
  AskToEndSession();
  return S_OK;
}
HRESULT InstallThatAsks(const InstallList&, HINSTANCE, HANDLE) {
  AskToEndSession();
  return S_OK;
}
HRESULT FinishThatAsks(HRESULT result, HANDLE, const InstallList*, PatchContext*) {
  AskToEndSession();
  return result;
}

// A shutdown or log-off is refused while the files are replaced, and only then.
TEST(PatchSession, EndOfTheSessionIsRefusedOnlyWhileFilesAreReplaced) {
  CPatchProcess process({PrepareThatAsks, InstallThatAsks, FinishThatAsks});
  g_process = &process;
  PatchContext context;
  EXPECT_EQ(process.Run(TwoRows(), &context, L"Mirevo", GetModuleHandleW(nullptr)), S_OK);
  EXPECT_EQ(g_endSessionAnswers, (std::vector<LRESULT>{TRUE, FALSE, TRUE}));
}

HRESULT PrepareThatRequestsStop(HRESULT, HANDLE stopEvent, const InstallList*, PatchContext*) {
  g_steps.push_back("prepare");
  SetEvent(stopEvent);
  return S_OK;
}

TEST(PatchSession, StopEventBeforeInstallationCancels) {
  CPatchProcess process({PrepareThatRequestsStop, RecordingInstall, RecordingFinish});
  PatchContext context;
  const HRESULT result = process.Run(TwoRows(), &context, L"Mirevo", GetModuleHandleW(nullptr));
  EXPECT_EQ(g_steps, (std::vector<std::string>{"prepare", "finish"}));
  EXPECT_EQ(g_finishSaw, E_ABORT);
  EXPECT_EQ(result, E_ABORT);
}

HRESULT PrepareThatRunsAgain(HRESULT, HANDLE, const InstallList*, PatchContext* context) {
  g_steps.push_back("prepare");
  g_secondRun = g_process->Run(InstallList{}, context, L"again", GetModuleHandleW(nullptr));
  return S_OK;
}

TEST(PatchSession, SecondRunWhileRunningIsRefusedAndChangesNothing) {
  g_installResult = 3;
  CPatchProcess process({PrepareThatRunsAgain, RecordingInstall, RecordingFinish});
  g_process = &process;
  PatchContext context;
  const HRESULT result = process.Run(TwoRows(), &context, L"Mirevo", GetModuleHandleW(nullptr));
  EXPECT_EQ(g_secondRun, E_UNEXPECTED);
  EXPECT_EQ(g_steps, (std::vector<std::string>{"prepare", "install", "finish"}));
  EXPECT_EQ(result, 3);
  // Idle again afterwards: a new run is accepted.
  g_steps.clear();
  EXPECT_EQ(process.Run(TwoRows(), &context, L"Mirevo", GetModuleHandleW(nullptr)), 3);
  EXPECT_EQ(process.Stop(), S_FALSE);  // no worker left
}

// Destroys the progress window on the main thread (as something outside the
// session might), which ends the message loop before the worker has stored a
// result; then waits for the stop request, or with `forever` never returns.
bool g_forever = false;
WNDPROC g_dialogProc = nullptr;
constexpr UINT kDestroyFromOutside = WM_APP + 1;

LRESULT CALLBACK DestroyingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kDestroyFromOutside) {
    DestroyWindow(window);
    return 0;
  }
  return CallWindowProcW(g_dialogProc, window, message, wParam, lParam);
}

HRESULT PrepareThatEndsTheLoopEarly(HRESULT, HANDLE stopEvent, const InstallList*, PatchContext*) {
  g_steps.push_back("prepare");
  const HWND window = g_process->ProgressWindow();
  g_dialogProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DestroyingProc)));
  SendMessageW(window, kDestroyFromOutside, 0, 0);
  if (g_forever) Sleep(INFINITE);
  WaitForSingleObject(stopEvent, INFINITE);
  return S_OK;
}

TEST(PatchSession, LoopEndingBeforeTheResultGivesNothingToReport) {
  CPatchProcess process({PrepareThatEndsTheLoopEarly, RecordingInstall, RecordingFinish});
  g_process = &process;
  PatchContext context;
  const HRESULT result = process.Run(TwoRows(), &context, L"Mirevo", GetModuleHandleW(nullptr));
  EXPECT_EQ(result, S_FALSE);
}

TEST(PatchSession, WorkerThatNeverEndsIsTerminatedAfterTenSeconds) {
  g_forever = true;
  CPatchProcess process({PrepareThatEndsTheLoopEarly, RecordingInstall, RecordingFinish});
  g_process = &process;
  PatchContext context;
  const DWORD start = GetTickCount();
  const HRESULT result = process.Run(TwoRows(), &context, L"Mirevo", GetModuleHandleW(nullptr));
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_EQ(result, S_FALSE);
  EXPECT_GE(elapsed, kWorkerStopTimeoutMs - 100);
  EXPECT_LT(elapsed, kWorkerStopTimeoutMs + 5000);
  EXPECT_EQ(g_steps, (std::vector<std::string>{"prepare"}));
}

TEST(PatchSession, WithoutAWindowTheMainThreadWaitsForTheWorker) {
  // The first session takes the process's one progress window; the second runs without.
  {
    CPatchProcess first({RecordingPrepare, RecordingInstall, RecordingFinish});
    PatchContext context;
    ASSERT_EQ(first.Run(TwoRows(), &context, L"Mirevo", GetModuleHandleW(nullptr)), S_OK);
  }
  g_steps.clear();
  g_installResult = 5;
  CPatchProcess second({RecordingPrepare, RecordingInstall, RecordingFinish});
  PatchContext context;
  EXPECT_FALSE(second.CreateProgressWindow(GetModuleHandleW(nullptr)));
  EXPECT_EQ(second.Run(TwoRows(), &context, L"Mirevo", GetModuleHandleW(nullptr)), 5);
  EXPECT_EQ(g_steps, (std::vector<std::string>{"prepare", "install", "finish"}));
}

// Another program (or the taskbar's "close window") posts WM_CLOSE while the
// session runs: nothing of the session changes.
HRESULT PrepareClosedFromOutside(HRESULT result, HANDLE stopEvent, const InstallList* list, PatchContext* context) {
  PostMessageW(g_process->ProgressWindow(), WM_CLOSE, 0, 0);
  Sleep(500);  // time enough for the message loop to take it
  return RecordingPrepare(result, stopEvent, list, context);
}

TEST(PatchSession, CloseFromOutsideChangesNothing) {
  g_installResult = 7;
  CPatchProcess process({PrepareClosedFromOutside, RecordingInstall, RecordingFinish});
  g_process = &process;
  PatchContext context;
  EXPECT_EQ(process.Run(TwoRows(), &context, L"Mirevo", GetModuleHandleW(nullptr)), 7);
  EXPECT_EQ(g_steps, (std::vector<std::string>{"prepare", "install", "finish"}));
  EXPECT_EQ(g_finishSaw, 7);
}

TEST(PatchSession, UpdatePhasesWithoutContextReportInvalidArgument) {
  // The update's own phases: nothing to install, no context.
  CPatchProcess process;
  EXPECT_EQ(process.Run(InstallList{}, nullptr, L"Mirevo", GetModuleHandleW(nullptr)), E_INVALIDARG);
}

TEST(PatchSession, UpdatePhasesFillTheContext) {
  PatchContext context;
  CPatchProcess process;
  EXPECT_EQ(process.Run(InstallList{}, &context, L"Mirevo", GetModuleHandleW(nullptr)), S_OK);
  EXPECT_EQ(context.patchId, L"EP0000517904");
  EXPECT_EQ(context.updateVersion, L"2.2.3.04170");
  EXPECT_FALSE(context.productDescription.empty());
}

TEST(PatchSession, RunPatchSessionWithNothingToInstallSucceeds) {
  EXPECT_EQ(RunPatchSession(InstallList{}, L"Mirevo", GetModuleHandleW(nullptr)), S_OK);
}

}  // namespace
