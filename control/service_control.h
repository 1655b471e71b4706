// The component services: their state, and stopping and starting them.
#pragma once
#include <windows.h>

// The service's current state (SERVICE_STOPPED when it cannot be queried).
DWORD QueryServiceState(const wchar_t* serviceName);
HRESULT StopServiceAndWait(const wchar_t* serviceName);
HRESULT StartServiceAndWait(const wchar_t* serviceName);
