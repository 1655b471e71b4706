#include "control/portable/service_wait.h"

#include <algorithm>

#include "base/portable/hresult.h"

uint32_t ServicePollInterval(uint32_t waitHint, uint32_t timeoutMs) {
  const uint32_t tenth = std::clamp<uint32_t>(waitHint / 10, 500, 3000);
  return std::min(tenth, timeoutMs);
}

int32_t WaitWhileServiceState(ServiceStatusSource& service, WaitClock& clock, uint32_t state, uint32_t timeoutMs,
                              uint32_t& reached) {
  ServiceStatus status;
  uint32_t error = 0;
  if (!service.ReadStatus(status, error)) {
    reached = 0;
    return hresult::FromWin32(static_cast<int32_t>(error));
  }
  const uint32_t start = clock.Now();
  uint32_t lastProgress = start;
  uint32_t checkPoint = status.checkPoint;
  int32_t result = hresult::kOk;
  do {
    // Unsigned differences stay right across the tick count's wrap.
    if (clock.Now() - start >= timeoutMs || status.currentState != state) break;
    clock.SleepFor(ServicePollInterval(status.waitHint, timeoutMs));
    ServiceStatus next;
    if (!service.ReadStatus(next, error)) {
      result = hresult::FromWin32(static_cast<int32_t>(error));
    } else {
      status = next;
      if (status.checkPoint > checkPoint) {
        checkPoint = status.checkPoint;
        lastProgress = clock.Now();
      } else if (clock.Now() - lastProgress > status.waitHint) {
        break;  // the service has stopped reporting progress
      }
    }
  } while (result >= 0);
  reached = status.currentState;
  return result;
}
