#include "control/portable/service_operations.h"

#include "base/portable/hresult.h"
#include "control/portable/service_wait.h"

namespace {

using namespace service_state;

int32_t ErrorResult(uint32_t error) { return hresult::FromWin32(static_cast<int32_t>(error)); }

// Connects to the manager and opens the service. Returns false with the
// operation's result when it must end here: S_FALSE for a service that is not
// installed, else the error.
bool OpenForOperation(ServiceConnection& connection, const wchar_t* serviceName, const ServiceRights& rights,
                      int32_t& result) {
  uint32_t error = 0;
  if (!connection.ConnectManager(rights.manager, error)) {
    result = ErrorResult(error);
    return false;
  }
  const bool opened = connection.OpenNamedService(serviceName, rights.service, error);
  if (error == kErrorServiceDoesNotExist) {
    result = hresult::kFalse;
    return false;
  }
  if (!opened) {
    result = ErrorResult(error);
    return false;
  }
  return true;
}

bool IsStartOrContinuePending(uint32_t state) { return state == kStartPending || state == kContinuePending; }

uint32_t PendingStateWait(const ServiceStatus& status) {
  return status.waitHint < kPendingStateWaitCapMs ? status.waitHint : kPendingStateWaitCapMs;
}

// The stop control, then the wait while the service reports stop pending.
int32_t SendStopAndWait(ServiceConnection& connection, WaitClock& clock) {
  uint32_t error = 0;
  ServiceStatus status;
  if (!connection.SendStopControl(error) || !connection.ReadStatus(status, error)) return ErrorResult(error);
  uint32_t reached = 0;
  return WaitWhileServiceState(connection, clock, kStopPending, kServiceRequestWaitMs, reached);
}

// The start request, then the wait while the service reports start pending.
int32_t RequestStartAndWait(ServiceConnection& connection, WaitClock& clock) {
  uint32_t error = 0;
  if (!connection.RequestStart(error)) return ErrorResult(error);
  uint32_t reached = 0;
  const int32_t waited = WaitWhileServiceState(connection, clock, kStartPending, kServiceRequestWaitMs, reached);
  if (waited < 0) return waited;
  if (reached == kRunning) return hresult::kOk;
  if (reached == kStopped || reached == kStopPending) return kServiceNotActiveResult;
  return hresult::kFalse;  // still pending, or some other state, after the wait
}

}  // namespace

bool ReadServiceState(ServiceConnection& connection, const wchar_t* serviceName, uint32_t& state,
                      uint32_t& error) {
  state = kStopped;
  error = 0;
  ServiceStatus status;
  if (!connection.ConnectManager(service_rights::kForQuery.manager, error)) return false;
  if (!connection.OpenNamedService(serviceName, service_rights::kForQuery.service, error)) {
    if (error != kErrorServiceDoesNotExist) return false;
    error = 0;
    return true;  // not installed: stopped
  }
  if (!connection.ReadStatus(status, error)) return false;
  state = status.currentState;
  return true;
}

uint32_t QueryServiceState(ServiceConnection& connection, const wchar_t* serviceName) {
  uint32_t state = kStopped;
  uint32_t error = 0;
  return ReadServiceState(connection, serviceName, state, error) ? state : kStopped;
}

int32_t StopServiceAndWait(ServiceConnection& connection, WaitClock& clock, const wchar_t* serviceName) {
  int32_t result = hresult::kOk;
  if (!OpenForOperation(connection, serviceName, service_rights::kForStop, result)) return result;
  uint32_t error = 0;
  ServiceStatus status;
  if (!connection.ReadStatus(status, error)) return ErrorResult(error);

  const uint32_t state = status.currentState;
  if (state == kStopped) return hresult::kOk;
  if (IsStartOrContinuePending(state) || state == kStopPending || state == kPausePending) {
    // A pending state found here is waited out for the service's own wait hint (capped).
    uint32_t reached = 0;
    const int32_t waited = WaitWhileServiceState(connection, clock, state, PendingStateWait(status), reached);
    if (state == kStopPending) return reached == kStopped ? hresult::kOk : waited;
    const uint32_t stoppable = state == kPausePending ? kPaused : kRunning;
    if (reached != stoppable) return waited;
  }
  return SendStopAndWait(connection, clock);
}

int32_t StartServiceAndWait(ServiceConnection& connection, WaitClock& clock, const wchar_t* serviceName) {
  int32_t result = hresult::kOk;
  if (!OpenForOperation(connection, serviceName, service_rights::kForStart, result)) return result;
  uint32_t error = 0;
  ServiceStatus status;
  if (!connection.ReadStatus(status, error)) return ErrorResult(error);

  const uint32_t state = status.currentState;
  if (state == kRunning || state == kPaused) return hresult::kOk;  // a paused service is left paused
  if (IsStartOrContinuePending(state) || state == kStopPending || state == kPausePending) {
    uint32_t reached = 0;
    const int32_t waited = WaitWhileServiceState(connection, clock, state, PendingStateWait(status), reached);
    if (IsStartOrContinuePending(state)) return reached == kRunning ? hresult::kOk : waited;
    if (state == kPausePending) return waited;  // neither started nor continued
    if (reached != kStopped) return waited;
  }
  return RequestStartAndWait(connection, clock);
}
