#include "control/preparation_steps.h"

#include <windows.h>

#include "base/module_state.h"
#include "base/phase_time.h"
#include "base/trace.h"
#include "control/relaunch.h"
#include "control/service_control.h"

int32_t ServiceRestartStep::Do() {
  wasRunning_ = QueryServiceState(service_.c_str()) == SERVICE_RUNNING;
  Trace(L"service: %ls %ls", service_.c_str(), wasRunning_ ? L"running" : L"not running");
  return S_OK;
}

void ServiceRestartStep::Rollback() {
  if (!wasRunning_) return;
  wasRunning_ = false;
  PhaseTime start(L"service start " + service_);
  const HRESULT started = StartServiceAndWait(service_.c_str());
  if (FAILED(started)) Trace(L"service: %ls not started: 0x%08lX", service_.c_str(), static_cast<unsigned long>(started));
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
