// Times of the run's phases and steps in the trace, as lines
// "time: <what> <milliseconds> ms", so that a slow step shows where it is.
#pragma once
#include <windows.h>

#include <string>
#include <utility>

// Traces the time from its making to its end.
class PhaseTime {
 public:
  explicit PhaseTime(std::wstring what) : what_(std::move(what)), start_(GetTickCount()) {}
  ~PhaseTime();
  PhaseTime(const PhaseTime&) = delete;
  PhaseTime& operator=(const PhaseTime&) = delete;

 private:
  std::wstring what_;
  DWORD start_;
};

// Traces the time since the process was started.
void TraceTimeSinceStart(const wchar_t* what);
