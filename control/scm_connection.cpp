#include "control/scm_connection.h"

static_assert(sizeof(SERVICE_STATUS_PROCESS) == 36, "the status record read at SC_STATUS_PROCESS_INFO");
static_assert(service_rights::kManagerConnect == SC_MANAGER_CONNECT, "");
static_assert(service_rights::kManagerAllAccess == SC_MANAGER_ALL_ACCESS, "");
static_assert(service_rights::kQueryStatus == SERVICE_QUERY_STATUS, "");
static_assert(service_rights::kStart == SERVICE_START, "");
static_assert(service_rights::kStop == SERVICE_STOP, "");
static_assert(kErrorServiceDoesNotExist == ERROR_SERVICE_DOES_NOT_EXIST, "");
static_assert(service_state::kStopped == SERVICE_STOPPED && service_state::kPaused == SERVICE_PAUSED, "");

bool ReadServiceStatus(SC_HANDLE service, ServiceStatus& status, uint32_t& error) {
  SERVICE_STATUS_PROCESS record{};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&record), sizeof record,
                            &needed)) {
    error = GetLastError();
    return false;
  }
  status.currentState = record.dwCurrentState;
  status.checkPoint = record.dwCheckPoint;
  status.waitHint = record.dwWaitHint;
  return true;
}

bool BorrowedService::ReadStatus(ServiceStatus& status, uint32_t& error) {
  return ReadServiceStatus(service_, status, error);
}

bool ScmConnection::ConnectManager(uint32_t rights, uint32_t& error) {
  manager_.Reset(OpenSCManagerW(nullptr, nullptr, rights));
  error = manager_ ? ERROR_SUCCESS : GetLastError();
  return manager_.Valid();
}

bool ScmConnection::OpenNamedService(const wchar_t* name, uint32_t rights, uint32_t& error) {
  // The error after the call decides "not installed" even when a handle came
  // back; a successful open leaves the last error alone, so an older one
  // (from the previous service's query, say) must not be taken for this call's.
  SetLastError(ERROR_SUCCESS);
  service_.Reset(OpenServiceW(manager_.Get(), name, rights));
  error = GetLastError();
  return service_.Valid();
}

bool ScmConnection::ReadStatus(ServiceStatus& status, uint32_t& error) {
  return ReadServiceStatus(service_.Get(), status, error);
}

bool ScmConnection::SendStopControl(uint32_t& error) {
  SERVICE_STATUS status{};
  if (ControlService(service_.Get(), SERVICE_CONTROL_STOP, &status)) return true;
  error = GetLastError();
  return false;
}

bool ScmConnection::RequestStart(uint32_t& error) {
  if (StartServiceW(service_.Get(), 0, nullptr)) return true;
  error = GetLastError();
  return false;
}
