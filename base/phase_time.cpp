#include "base/phase_time.h"

#include "base/trace.h"

PhaseTime::~PhaseTime() {
  Trace(L"time: %ls %lu ms", what_.c_str(), static_cast<unsigned long>(GetTickCount() - start_));
}

void TraceTimeSinceStart(const wchar_t* what) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return;
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const ULONGLONG start = (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  const ULONGLONG end = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  Trace(L"time: %ls %lu ms", what, static_cast<unsigned long>(end > start ? (end - start) / 10000 : 0));
}
