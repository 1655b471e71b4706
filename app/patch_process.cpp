#include "app/patch_process.h"

#include <process.h>

#include <new>

#include "app/patch_phases.h"

PatchPhases UpdatePhases() { return {PreparePhase, InstallUpdate, FinishPhase}; }

CPatchProcess::CPatchProcess(const PatchPhases& phases) : phases_(phases) {
  // Manual reset, not signalled, unnamed; without it the worker never sees a stop request.
  stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

CPatchProcess::~CPatchProcess() {
  Stop();
  if (stopEvent_ != nullptr) CloseHandle(stopEvent_);
}

HRESULT CPatchProcess::Run(const InstallList& list, PatchContext* context, const wchar_t* title,
                           HINSTANCE module) {
  if (workerThread_ != nullptr) return E_UNEXPECTED;
  if (stopEvent_ != nullptr) ResetEvent(stopEvent_);
  try {
    installList_ = list;
    title_ = title ? title : L"";
  } catch (const std::bad_alloc&) {
    installList_.clear();
    return E_OUTOFMEMORY;
  }
  context_ = context;
  module_ = module;
  prepareCallback_ = phases_.prepare;
  installStep_ = phases_.install;
  finishCallback_ = phases_.finish;
  showWindow_ = title != nullptr;
  iconId_ = 100;
  result_ = S_FALSE;
  finished_ = false;

  const uintptr_t thread = _beginthreadex(nullptr, 0, &CPatchProcess::WorkerMain, this, CREATE_SUSPENDED,
                                          &workerThreadId_);
  if (thread == 0) {
    workerThreadId_ = 0;
    return E_OUTOFMEMORY;
  }
  workerThread_ = reinterpret_cast<HANDLE>(thread);

  CreateProgressWindow(module);
  ResumeThread(workerThread_);
  if (progressWindow_ != nullptr) {
    PumpMessages();
    DestroyProgressWindow();
  } else {
    WaitForSingleObject(workerThread_, INFINITE);
  }
  // S_FALSE when the loop ended before the worker stored its result.
  const HRESULT result = result_;
  Stop();
  return result;
}

void CPatchProcess::PumpMessages() {
  MSG message;
  for (;;) {
    const BOOL got = GetMessageW(&message, progressWindow_, 0, 0);
    if (got == 0 || got == -1) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
    // Only the worker's own close ends the session: a close posted by another
    // program (or the taskbar) would cut the worker off in mid-copy, and the
    // window already ignores close, Alt+F4 and Escape.
    if (message.message == WM_CLOSE && finished_) return;
  }
}

namespace {

// A phase that throws fails with an HRESULT like any other, so that the
// phases after it still run: the finish phase must start again what the
// prepare phase stopped, and an exception that left the thread would end the
// process with the services stopped.
template <typename Phase>
HRESULT RunPhase(Phase&& phase) noexcept {
  try {
    return phase();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace

unsigned __stdcall CPatchProcess::WorkerMain(void* argument) {
  auto* self = static_cast<CPatchProcess*>(argument);
  HRESULT result = S_OK;
  bool prepared = true;
  if (self->prepareCallback_ != nullptr) {
    result = RunPhase([&] { return self->prepareCallback_(S_OK, self->stopEvent_, &self->installList_, self->context_); });
    prepared = SUCCEEDED(result);
  }
  if (prepared) {
    const bool stopRequested =
        self->stopEvent_ != nullptr && WaitForSingleObject(self->stopEvent_, 0) == WAIT_OBJECT_0;
    if (stopRequested) {
      result = E_ABORT;
    } else if (self->installStep_ != nullptr) {
      // A shutdown while files are replaced would leave the product half new.
      self->HoldShutdown(true);
      result = RunPhase([&] { return self->installStep_(self->installList_, self->module_, self->stopEvent_); });
      self->HoldShutdown(false);
    }
  }
  if (self->finishCallback_ != nullptr) {
    const HRESULT sofar = result;
    result = RunPhase([&] { return self->finishCallback_(sofar, self->stopEvent_, &self->installList_, self->context_); });
  }
  // The result is complete before the main thread can see WM_CLOSE.
  self->result_ = result;
  self->finished_ = true;
  PostMessageW(self->progressWindow_, WM_CLOSE, 0, 0);
  return static_cast<unsigned>(result);
}

HRESULT CPatchProcess::Stop() {
  if (workerThread_ == nullptr) return S_FALSE;
  if (stopEvent_ != nullptr) SetEvent(stopEvent_);
  // The phases stay in place while the worker runs: once the prepare phase ran,
  // the finish phase must too, to start again what it stopped.
  HRESULT stopped = S_OK;
  if (WaitForSingleObject(workerThread_, kWorkerStopTimeoutMs) == WAIT_TIMEOUT) {
    TerminateThread(workerThread_, 0);
    stopped = E_ABORT;
  }
  context_ = nullptr;
  prepareCallback_ = nullptr;
  finishCallback_ = nullptr;
  installList_.clear();
  module_ = nullptr;
  title_.clear();
  iconId_ = 0;
  CloseHandle(workerThread_);
  workerThread_ = nullptr;
  workerThreadId_ = 0;
  return stopped;
}
