// A service and a clock simulated in memory: the service's status follows a
// script of timed steps, stop and start requests switch to another script,
// and sleeping only moves the clock on.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "control/portable/service_port.h"

class SimulatedClock : public WaitClock {
 public:
  explicit SimulatedClock(uint32_t startTick = 100000) : start_(startTick) {}
  uint32_t Now() override { return start_ + static_cast<uint32_t>(elapsed_); }
  void SleepFor(uint32_t ms) override {
    sleeps.push_back(ms);
    elapsed_ += ms;
  }
  uint64_t Elapsed() const { return elapsed_; }

  std::vector<uint32_t> sleeps;

 private:
  uint32_t start_;
  uint64_t elapsed_ = 0;
};

// A status that holds from `at` ms after its script began.
struct TimedStatus {
  uint64_t at;
  ServiceStatus status;
};
using StatusScript = std::vector<TimedStatus>;

ServiceStatus Status(uint32_t state, uint32_t checkPoint = 0, uint32_t waitHint = 0);

// A pending state whose check point rises by one every `stepMs`, up to `untilMs`,
// then `finalState`.
StatusScript ProgressingUntil(uint32_t pendingState, uint32_t waitHint, uint64_t stepMs, uint64_t untilMs,
                              uint32_t finalState);

class SimulatedService : public ServiceConnection {
 public:
  explicit SimulatedService(const SimulatedClock& clock) : clock_(clock) {}

  // Scripts: the status from now on, and the ones that follow a stop control or a
  // start request (an empty one: the request changes nothing).
  void Follow(StatusScript script);
  StatusScript afterStop;
  StatusScript afterStart;

  // Failures. The open of a service that is not installed reports 1060.
  bool installed = true;
  uint32_t managerError = 0;       // non-zero: the manager cannot be opened
  uint32_t openError = 0;          // non-zero: the service cannot be opened
  uint32_t stopControlError = 0;   // non-zero: ControlService fails
  uint32_t startError = 0;         // non-zero: StartService fails
  std::map<int, uint32_t> failingReads;  // read number (1-based) -> error

  // What the operation did.
  std::vector<uint32_t> managerRights;
  std::vector<uint32_t> serviceRights;
  std::wstring openedName;
  int reads = 0;
  int stopControls = 0;
  int startRequests = 0;

  bool ConnectManager(uint32_t rights, uint32_t& error) override;
  bool OpenNamedService(const wchar_t* name, uint32_t rights, uint32_t& error) override;
  bool ReadStatus(ServiceStatus& status, uint32_t& error) override;
  bool SendStopControl(uint32_t& error) override;
  bool RequestStart(uint32_t& error) override;

 private:
  const SimulatedClock& clock_;
  StatusScript script_;
  uint64_t scriptStart_ = 0;
};
