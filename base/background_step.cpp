#include "base/background_step.h"

#include <process.h>

#include <new>
#include <utility>

BackgroundStep::BackgroundStep()
    : work_(CreateEventW(nullptr, FALSE, FALSE, nullptr)), done_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  if (!work_ || !done_) return;
  thread_.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ThreadMain, this, 0, nullptr)));
}

BackgroundStep::~BackgroundStep() {
  Wait();
  if (!thread_) return;
  stop_ = true;
  SetEvent(work_.Get());
  WaitForSingleObject(thread_.Get(), INFINITE);
}

void BackgroundStep::Start(std::function<HRESULT()> step) {
  step_ = std::move(step);
  underWay_ = true;
  if (!thread_) {
    result_ = step_();
    return;
  }
  SetEvent(work_.Get());
}

HRESULT BackgroundStep::Wait() {
  if (!underWay_) return S_OK;
  underWay_ = false;
  if (thread_) WaitForSingleObject(done_.Get(), INFINITE);
  return result_;
}

unsigned __stdcall BackgroundStep::ThreadMain(void* self) {
  auto& owner = *static_cast<BackgroundStep*>(self);
  for (;;) {
    WaitForSingleObject(owner.work_.Get(), INFINITE);
    if (owner.stop_) return 0;
    // An exception may not leave this thread: it would end the process in
    // the middle of the installation.
    try {
      owner.result_ = owner.step_();
    } catch (const std::bad_alloc&) {
      owner.result_ = E_OUTOFMEMORY;
    } catch (...) {
      owner.result_ = E_UNEXPECTED;
    }
    SetEvent(owner.done_.Get());
  }
}
