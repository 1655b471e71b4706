#include "control/service_control.h"

// Not built yet: every service counts as stopped, so none is stopped or started.
DWORD QueryServiceState(const wchar_t* /*serviceName*/) { return SERVICE_STOPPED; }
HRESULT StopServiceAndWait(const wchar_t* /*serviceName*/) { return S_FALSE; }
HRESULT StartServiceAndWait(const wchar_t* /*serviceName*/) { return S_FALSE; }
