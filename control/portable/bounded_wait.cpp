#include "control/portable/bounded_wait.h"

bool WaitUntil(WaitClock& clock, const std::function<bool()>& happened, uint32_t maximumMs, uint32_t intervalMs) {
  const uint32_t start = clock.Now();
  for (;;) {
    if (happened()) return true;
    const uint32_t elapsed = clock.Now() - start;  // unsigned: right across a wrap
    if (elapsed >= maximumMs) return false;
    const uint32_t left = maximumMs - elapsed;
    clock.SleepFor(intervalMs == 0 || intervalMs > left ? left : intervalMs);
  }
}
