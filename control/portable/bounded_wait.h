// Waiting for something to happen instead of sleeping a fixed time for it:
// the wait ends as soon as it has happened, and never later than the time the
// fixed sleep used to give it.
#pragma once
#include <cstdint>
#include <functional>

#include "control/portable/service_port.h"

// Checks `happened` at once and then every `intervalMs` until it holds or
// `maximumMs` have passed since the call (tick counts may wrap); the last
// sleep is cut so that the whole wait never exceeds the maximum. True when it
// happened within the time.
bool WaitUntil(WaitClock& clock, const std::function<bool()>& happened, uint32_t maximumMs, uint32_t intervalMs);
