#include "control/service_control.h"

#include <cstdint>

#include "base/trace.h"
#include "control/scm_connection.h"
#include "control/portable/service_operations.h"
#include "control/portable/service_wait.h"

bool ReadServiceState(const wchar_t* serviceName, DWORD& state) {
  ScmConnection connection;
  uint32_t read = SERVICE_STOPPED;
  uint32_t error = 0;
  const bool done = ReadServiceState(connection, serviceName, read, error);
  state = read;
  if (!done) Trace(L"service: %ls state not read: error %lu", serviceName, static_cast<unsigned long>(error));
  return done;
}

DWORD QueryServiceState(const wchar_t* serviceName) {
  ScmConnection connection;
  return QueryServiceState(connection, serviceName);
}

HRESULT StopServiceAndWait(const wchar_t* serviceName) {
  ScmConnection connection;
  TickClock clock;
  const HRESULT result = StopServiceAndWait(connection, clock, serviceName);
  Trace(L"service: %ls stop: 0x%08lX", serviceName, static_cast<unsigned long>(result));
  return result;
}

HRESULT StartServiceAndWait(const wchar_t* serviceName) {
  ScmConnection connection;
  TickClock clock;
  const HRESULT result = StartServiceAndWait(connection, clock, serviceName);
  Trace(L"service: %ls start: 0x%08lX", serviceName, static_cast<unsigned long>(result));
  return result;
}

HRESULT WaitWhileServiceState(SC_HANDLE service, DWORD state, DWORD timeoutMs, DWORD& reached) {
  BorrowedService source(service);
  TickClock clock;
  uint32_t last = 0;
  const HRESULT result = WaitWhileServiceState(source, clock, state, timeoutMs, last);
  reached = last;
  return result;
}
