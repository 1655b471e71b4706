// The service interfaces of the portable operations, served by the local
// Service Control Manager and the system's tick count.
#pragma once
#include <windows.h>

#include "base/win32_raii.h"
#include "control/portable/service_port.h"
#include "control/tick_clock.h"

// Reads SERVICE_STATUS_PROCESS (36 bytes, zeroed before the read) of an open service.
bool ReadServiceStatus(SC_HANDLE service, ServiceStatus& status, uint32_t& error);

// A service handle that someone else opened and closes.
class BorrowedService : public ServiceStatusSource {
 public:
  explicit BorrowedService(SC_HANDLE service) : service_(service) {}
  bool ReadStatus(ServiceStatus& status, uint32_t& error) override;

 private:
  SC_HANDLE service_;
};

// The manager of the local machine (active database) and one service in it,
// both closed when the connection ends: the service first, then the manager.
class ScmConnection : public ServiceConnection {
 public:
  bool ConnectManager(uint32_t rights, uint32_t& error) override;
  bool OpenNamedService(const wchar_t* name, uint32_t rights, uint32_t& error) override;
  bool ReadStatus(ServiceStatus& status, uint32_t& error) override;
  bool SendStopControl(uint32_t& error) override;
  bool RequestStart(uint32_t& error) override;

 private:
  UniqueServiceHandle manager_;
  UniqueServiceHandle service_;
};

