#include "control/service_control.h"

#include <cstdint>

#include "control/scm_connection.h"
#include "control/service_operations.h"
#include "control/service_wait.h"

DWORD QueryServiceState(const wchar_t* serviceName) {
  ScmConnection connection;
  return QueryServiceState(connection, serviceName);
}

HRESULT StopServiceAndWait(const wchar_t* serviceName) {
  ScmConnection connection;
  TickClock clock;
  return StopServiceAndWait(connection, clock, serviceName);
}

HRESULT StartServiceAndWait(const wchar_t* serviceName) {
  ScmConnection connection;
  TickClock clock;
  return StartServiceAndWait(connection, clock, serviceName);
}

HRESULT WaitWhileServiceState(SC_HANDLE service, DWORD state, DWORD timeoutMs, DWORD& reached) {
  BorrowedService source(service);
  TickClock clock;
  uint32_t last = 0;
  const HRESULT result = WaitWhileServiceState(source, clock, state, timeoutMs, last);
  reached = last;
  return result;
}
