// The bounded wait shared by the stop and start operations.
#pragma once
#include <cstdint>

#include "control/portable/service_port.h"

// Polls `service` while it stays in `state`, for at most `timeoutMs`, and ends
// early when the check point makes no progress for longer than the wait hint.
// Writes the state of the last successful read to `reached` (0 when the first
// read failed) and returns 0, or the failed read's error as an HRESULT.
int32_t WaitWhileServiceState(ServiceStatusSource& service, WaitClock& clock, uint32_t state, uint32_t timeoutMs,
                              uint32_t& reached);

// One tenth of the wait hint within 500..3000 ms, never longer than the time-out.
uint32_t ServicePollInterval(uint32_t waitHint, uint32_t timeoutMs);
