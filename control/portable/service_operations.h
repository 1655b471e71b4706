// Query, stop and start of one component service, decided by its state.
#pragma once
#include <cstdint>

#include "control/portable/service_port.h"

// The time a stop or start request is given to take effect.
constexpr uint32_t kServiceRequestWaitMs = 20000;

// The longest wait for a pending state found before a request: the service's
// own wait hint, but no more than two minutes. The maker's services hint a few
// seconds; a service that hints hours (or 0xFFFFFFFF) would otherwise hold an
// unattended run for that long, and two minutes is still six times the time a
// request itself is given.
constexpr uint32_t kPendingStateWaitCapMs = 120000;

// HRESULT of ERROR_SERVICE_NOT_ACTIVE: a started service ended up stopped.
constexpr int32_t kServiceNotActiveResult = static_cast<int32_t>(0x80070426u);

// The service's state in `state` (stopped, 1, for a service that is not
// installed); false, with the failed call's error, when the manager or the
// service cannot be opened or its status cannot be read.
bool ReadServiceState(ServiceConnection& connection, const wchar_t* serviceName, uint32_t& state,
                      uint32_t& error);

// The service's state; stopped (1) when the manager or the service cannot be
// opened or the status cannot be read.
uint32_t QueryServiceState(ServiceConnection& connection, const wchar_t* serviceName);

// HRESULTs: 0 done, 1 (S_FALSE) for a service that is not installed, else the
// failed call's error or the outcome of the wait.
int32_t StopServiceAndWait(ServiceConnection& connection, WaitClock& clock, const wchar_t* serviceName);
int32_t StartServiceAndWait(ServiceConnection& connection, WaitClock& clock, const wchar_t* serviceName);
