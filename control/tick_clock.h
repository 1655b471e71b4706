// The real clock for the waits: the tick count and Sleep.
#pragma once
#include <windows.h>

#include "control/portable/service_port.h"

class TickClock : public WaitClock {
 public:
  uint32_t Now() override { return GetTickCount(); }
  void SleepFor(uint32_t ms) override { Sleep(ms); }
};
