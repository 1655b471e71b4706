// The component services: their state, and stopping and starting them.
#pragma once
#include <windows.h>

// The service's current state in `state` (SERVICE_STOPPED when it is not
// installed); false when it cannot be read.
bool ReadServiceState(const wchar_t* serviceName, DWORD& state);

// The service's current state (SERVICE_STOPPED when it cannot be queried).
DWORD QueryServiceState(const wchar_t* serviceName);

// 0 when the service ends stopped (or was), S_FALSE when it is not installed,
// else an error or the outcome of the 20 s wait.
HRESULT StopServiceAndWait(const wchar_t* serviceName);

// 0 when the service runs (or is paused), S_FALSE when it is not installed or
// is still starting after 20 s, 0x80070426 when it ended stopped, else an error.
HRESULT StartServiceAndWait(const wchar_t* serviceName);

// Polls the open service while it stays in `state`, at most `timeoutMs`;
// `reached` gets the state of the last successful read (0 when the first failed).
HRESULT WaitWhileServiceState(SC_HANDLE service, DWORD state, DWORD timeoutMs, DWORD& reached);
