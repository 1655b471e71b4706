// The Service Control Manager and the clock as the service operations see
// them. The waiting rule and the per-state decisions are written against these
// interfaces, so that they run without Windows (simulated in the unit tests).
#pragma once
#include <cstdint>

// Service states as Windows numbers them.
namespace service_state {
constexpr uint32_t kStopped = 1;
constexpr uint32_t kStartPending = 2;
constexpr uint32_t kStopPending = 3;
constexpr uint32_t kRunning = 4;
constexpr uint32_t kContinuePending = 5;
constexpr uint32_t kPausePending = 6;
constexpr uint32_t kPaused = 7;
}  // namespace service_state

constexpr uint32_t kErrorServiceDoesNotExist = 1060;

// The fields of SERVICE_STATUS_PROCESS that the operations use.
struct ServiceStatus {
  uint32_t currentState = 0;
  uint32_t checkPoint = 0;
  uint32_t waitHint = 0;
};

// Rights asked of the manager and of the service (the Windows values).
struct ServiceRights {
  uint32_t manager;
  uint32_t service;
};

namespace service_rights {
constexpr uint32_t kManagerConnect = 0x0001;
constexpr uint32_t kManagerAllAccess = 0xF003F;
constexpr uint32_t kQueryStatus = 0x0004;
constexpr uint32_t kStart = 0x0010;
constexpr uint32_t kStop = 0x0020;

constexpr ServiceRights kForQuery{kManagerConnect, kQueryStatus};
constexpr ServiceRights kForStop{kManagerAllAccess, kStop | kQueryStatus};
constexpr ServiceRights kForStart{kManagerAllAccess, kStart | kQueryStatus};
}  // namespace service_rights

// An open service whose status can be read. Failures report the last error.
class ServiceStatusSource {
 public:
  virtual ~ServiceStatusSource() = default;
  virtual bool ReadStatus(ServiceStatus& status, uint32_t& error) = 0;
};

// One service of the local manager, opened and used by one operation; the
// implementation closes what it opened when it ends.
class ServiceConnection : public ServiceStatusSource {
 public:
  virtual bool ConnectManager(uint32_t rights, uint32_t& error) = 0;
  // `error` is the last error after the call, whether or not it opened the service.
  virtual bool OpenNamedService(const wchar_t* name, uint32_t rights, uint32_t& error) = 0;
  virtual bool SendStopControl(uint32_t& error) = 0;
  virtual bool RequestStart(uint32_t& error) = 0;
};

// Milliseconds that wrap like GetTickCount, and sleeping.
class WaitClock {
 public:
  virtual ~WaitClock() = default;
  virtual uint32_t Now() = 0;
  virtual void SleepFor(uint32_t ms) = 0;
};
