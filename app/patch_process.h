// One update session: a worker thread that runs the prepare phase, the
// installation and the finish phase while the main thread shows the progress
// window and pumps its messages.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "app/patch_context.h"
#include "payload/portable/patch_file_entry.h"

// A phase of the worker: (result so far, stop event, Install list, context) -> result.
using PatchPhaseCallback = HRESULT (*)(HRESULT result, HANDLE stopEvent, const InstallList* list,
                                       PatchContext* context);
// The installation between the two phases.
using InstallStep = HRESULT (*)(const InstallList& list, HINSTANCE module, HANDLE stopEvent);

// The steps a session runs; the update's own unless a caller (a test) gives others.
struct PatchPhases {
  PatchPhaseCallback prepare;
  InstallStep install;
  PatchPhaseCallback finish;
};
PatchPhases UpdatePhases();

class CPatchProcess {
 public:
  explicit CPatchProcess(const PatchPhases& phases = UpdatePhases());
  virtual ~CPatchProcess();
  CPatchProcess(const CPatchProcess&) = delete;
  CPatchProcess& operator=(const CPatchProcess&) = delete;

  // Runs one session and returns the worker's result; E_UNEXPECTED when a
  // worker already exists, E_OUTOFMEMORY when none can be created.
  HRESULT Run(const InstallList& list, PatchContext* context, const wchar_t* title, HINSTANCE module);
  // Ends the worker: S_FALSE without one, 0 when it ended within 10 s, E_ABORT when terminated.
  HRESULT Stop();

  bool CreateProgressWindow(HINSTANCE module);
  void DestroyProgressWindow();
  // From the worker: while held, the progress window refuses the end of the
  // session (shutdown, log-off) and gives Windows the reason. Returns once the
  // window's thread has done it.
  void HoldShutdown(bool hold);
  HWND ProgressWindow() const { return progressWindow_; }

  static unsigned __stdcall WorkerMain(void* argument);

 private:
  friend INT_PTR CALLBACK ProgressDlgProc(HWND, UINT, WPARAM, LPARAM);
  void PumpMessages();

  PatchPhases phases_;
  std::atomic<HRESULT> result_{S_FALSE};
  std::atomic<bool> finished_{false};  // the worker has stored its result
  HANDLE stopEvent_ = nullptr;
  HANDLE workerThread_ = nullptr;
  unsigned workerThreadId_ = 0;
  PatchContext* context_ = nullptr;
  PatchPhaseCallback prepareCallback_ = nullptr;
  PatchPhaseCallback finishCallback_ = nullptr;
  InstallStep installStep_ = nullptr;
  WORD iconId_ = 0;
  bool showWindow_ = true;
  std::wstring title_;
  HINSTANCE module_ = nullptr;
  InstallList installList_;
  HWND progressWindow_ = nullptr;
  bool shutdownHeld_ = false;  // the window's thread alone reads and writes it
  HICON largeIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
};

// Milliseconds a worker gets to end after a stop request before it is terminated.
constexpr DWORD kWorkerStopTimeoutMs = 10000;
