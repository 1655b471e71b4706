#include "simulated_service.h"

#include <utility>

ServiceStatus Status(uint32_t state, uint32_t checkPoint, uint32_t waitHint) {
  ServiceStatus status;
  status.currentState = state;
  status.checkPoint = checkPoint;
  status.waitHint = waitHint;
  return status;
}

StatusScript ProgressingUntil(uint32_t pendingState, uint32_t waitHint, uint64_t stepMs, uint64_t untilMs,
                              uint32_t finalState) {
  StatusScript script;
  uint32_t checkPoint = 0;
  for (uint64_t at = 0; at < untilMs; at += stepMs) script.push_back({at, Status(pendingState, checkPoint++, waitHint)});
  script.push_back({untilMs, Status(finalState)});
  return script;
}

void SimulatedService::Follow(StatusScript script) {
  script_ = std::move(script);
  scriptStart_ = clock_.Elapsed();
}

bool SimulatedService::ConnectManager(uint32_t rights, uint32_t& error) {
  managerRights.push_back(rights);
  error = managerError;
  return managerError == 0;
}

bool SimulatedService::OpenNamedService(const wchar_t* name, uint32_t rights, uint32_t& error) {
  serviceRights.push_back(rights);
  openedName = name;
  error = installed ? openError : kErrorServiceDoesNotExist;
  return error == 0;
}

bool SimulatedService::ReadStatus(ServiceStatus& status, uint32_t& error) {
  ++reads;
  const auto failure = failingReads.find(reads);
  if (failure != failingReads.end()) {
    error = failure->second;
    return false;
  }
  const uint64_t sinceStart = clock_.Elapsed() - scriptStart_;
  status = ServiceStatus{};
  for (const TimedStatus& step : script_) {
    if (step.at <= sinceStart) status = step.status;
  }
  return true;
}

bool SimulatedService::SendStopControl(uint32_t& error) {
  ++stopControls;
  error = stopControlError;
  if (error != 0) return false;
  if (!afterStop.empty()) Follow(afterStop);
  return true;
}

bool SimulatedService::RequestStart(uint32_t& error) {
  ++startRequests;
  error = startError;
  if (error != 0) return false;
  if (!afterStart.empty()) Follow(afterStart);
  return true;
}
