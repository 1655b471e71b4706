#include "base/try_again.h"

#include <windows.h>

bool TryAgainWhileFailing(const std::function<bool()>& attempt) {
  for (int n = 1;; ++n) {
    if (attempt()) return true;
    if (n == kTryAgainAttempts) return false;
    Sleep(kTryAgainPauseMs);
  }
}
