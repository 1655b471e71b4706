#include "control/preparation_steps.h"

#include <windows.h>

#include "base/module_state.h"
#include "base/phase_time.h"
#include "base/trace.h"
#include "base/try_again.h"
#include "control/relaunch.h"
#include "control/service_control.h"

int32_t ServiceRestartStep::Do() {
  DWORD state = SERVICE_STOPPED;
  // Read twice before giving up: a service that ran and is not started
  // again would leave the product without it.
  if (ReadServiceState(service_.c_str(), state) || ReadServiceState(service_.c_str(), state)) {
    wasRunning_ = state == SERVICE_RUNNING;
    Trace(L"service: %ls %ls", service_.c_str(), wasRunning_ ? L"running" : L"not running");
  } else {
    // Unknown: started again afterwards, which does nothing to one not installed.
    wasRunning_ = true;
    Trace(L"service: %ls state unknown; started again after the update", service_.c_str());
  }
  return S_OK;
}

int32_t StartServiceTryingAgain(const wchar_t* service) {
  HRESULT started = S_OK;
  TryAgainWhileFailing([&] {
    started = StartServiceAndWait(service);
    return SUCCEEDED(started);
  });
  if (FAILED(started)) Trace(L"service: %ls not started: 0x%08lX", service, static_cast<unsigned long>(started));
  return started;
}

void ServiceRestartStep::Rollback() {
  if (!wasRunning_) return;
  wasRunning_ = false;
  PhaseTime start(L"service start " + service_);
  startResult_ = StartServiceTryingAgain(service_.c_str());
}

int32_t RecorderRelaunchStep::Do() {
  pending_ = TvRecorderRelaunchPending();
  return S_OK;
}

void RecorderRelaunchStep::Rollback() {
  if (!pending_) return;
  pending_ = false;
  const bool started = RelaunchTvRecorder();
  Trace(L"program: recording application %ls", started ? L"started again" : L"not started again");
}
