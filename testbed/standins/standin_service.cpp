// standin_service.exe: stand-in for the shared components' services. A
// simulated PC installs copies of it as QVLDms.exe, QVLCImp.exe and QVLDs.exe
// and registers each as an own-process service named after its executable.
//
// Settings ([StandIn] of "<Name>.ini" beside it; see standin_common.h):
//   StartMs=N        reports START_PENDING for N ms before RUNNING
//   StopMs=N         reports STOP_PENDING for N ms (at least once) before STOPPED
//   WaitHint=N       the wait hint of every pending report (ms)
//   StepMs=N         time between two pending reports (default 200)
//   Progress=0       the check point stays 1 instead of growing by one per report
//   IgnoreStop=1     a stop request is answered with the running status (read at each request)
//   StopAfterStart=1 ends in the STOPPED state once the start time is over
//   Libraries=...    watched libraries loaded before it reports RUNNING
//
// Every status it reports and every control it receives is logged:
//   service-main, load, status (state, checkpoint, waithint), control (code),
//   stop-ignored, exit.
#include <windows.h>

#include <string>
#include <vector>

#include "standin_common.h"

namespace {

constexpr DWORD kDefaultStepMs = 200;

class CriticalSection {
 public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

 private:
    CRITICAL_SECTION section_;
};

class Locked {
 public:
    explicit Locked(CriticalSection& section) : section_(section) { section_.Enter(); }
    ~Locked() { section_.Leave(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

 private:
    CriticalSection& section_;
};

struct Service {
    std::wstring name;
    SERVICE_STATUS_HANDLE handle = nullptr;  // owned by the manager, never closed
    CriticalSection lock;                    // guards status: the handler runs on the dispatcher's thread
    SERVICE_STATUS status{};
    UniqueHandle stopRequested;
};

Service g_service;

// Reports a status to the service control manager and logs exactly what was reported.
void Report(DWORD state, DWORD checkPoint, DWORD waitHint) {
    Locked locked(g_service.lock);
    SERVICE_STATUS& s = g_service.status;
    s.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    s.dwCurrentState = state;
    s.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    s.dwWin32ExitCode = NO_ERROR;
    s.dwServiceSpecificExitCode = 0;
    s.dwCheckPoint = checkPoint;
    s.dwWaitHint = waitHint;
    const std::string fields = standin::Field("state", state) + standin::Field("checkpoint", checkPoint) +
                               standin::Field("waithint", waitHint);
    if (state == SERVICE_STOPPED) {
        // Once the manager has it, the process may end before another line
        // runs, and a reader may already see it: logged first.
        standin::Note("status", fields);
        if (!SetServiceStatus(g_service.handle, &s)) standin::Note("status-failed", standin::Field("error", GetLastError()));
        return;
    }
    BOOL ok = SetServiceStatus(g_service.handle, &s);
    standin::Note("status", fields + (ok ? std::string() : standin::Field("error", GetLastError())));
}

DWORD StepMs() { return standin::SettingNumber(L"StepMs", L"STEP_MS", kDefaultStepMs); }
bool Progress() { return standin::SettingNumber(L"Progress", L"PROGRESS", 1) != 0; }
DWORD WaitHint() { return standin::SettingNumber(L"WaitHint", L"WAIT_HINT"); }

// Reports `state` once per step for `durationMs`, the first time with check
// point `checkPoint`, which then grows by one per report (unless Progress=0).
void ReportPending(DWORD state, DWORD durationMs, DWORD checkPoint) {
    const DWORD began = GetTickCount();
    while (GetTickCount() - began < durationMs) {
        Report(state, checkPoint, WaitHint());
        if (Progress()) ++checkPoint;
        Sleep(StepMs());
    }
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
    standin::Note("control", standin::Field("code", control));
    switch (control) {
        case SERVICE_CONTROL_STOP:
            if (standin::SettingFlag(L"IgnoreStop", L"IGNORE_STOP")) {
                standin::Note("stop-ignored");
                return NO_ERROR;  // the manager answers with the status last reported
            }
            // A service reports the stop as pending before the request returns,
            // so that the caller's first status read already shows it.
            Report(SERVICE_STOP_PENDING, 1, WaitHint());
            SetEvent(g_service.stopRequested.Get());
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, wchar_t**) {
    standin::Note("service-main", standin::Field("service", g_service.name));
    g_service.handle = RegisterServiceCtrlHandlerExW(g_service.name.c_str(), Handler, nullptr);
    if (!g_service.handle) {
        standin::Note("register-failed", standin::Field("error", GetLastError()));
        return;
    }
    ReportPending(SERVICE_START_PENDING, standin::SettingNumber(L"StartMs", L"START_MS"), 1);
    std::vector<standin::UniqueModule> libraries = standin::LoadLibraries();
    if (standin::SettingFlag(L"StopAfterStart", L"STOP_AFTER_START")) {
        Report(SERVICE_STOPPED, 0, 0);
        return;
    }
    Report(SERVICE_RUNNING, 0, 0);
    WaitForSingleObject(g_service.stopRequested.Get(), INFINITE);
    // The handler reported check point 1 when the request came.
    const DWORD stopMs = standin::SettingNumber(L"StopMs", L"STOP_MS");
    const DWORD first = stopMs < StepMs() ? stopMs : StepMs();
    Sleep(first);
    ReportPending(SERVICE_STOP_PENDING, stopMs - first, Progress() ? 2 : 1);
    libraries.clear();
    Report(SERVICE_STOPPED, 0, 0);
}

}  // namespace

int wmain() {
    g_service.name = standin::Name();
    g_service.stopRequested.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::wstring name = g_service.name;
    SERVICE_TABLE_ENTRYW table[] = {{&name[0], ServiceMain}, {nullptr, nullptr}};
    BOOL dispatched = StartServiceCtrlDispatcherW(table);
    standin::Note("exit", dispatched ? std::string() : standin::Field("error", GetLastError()));
    return dispatched ? 0 : 1;
}
