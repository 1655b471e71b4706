// service_tool.exe: installs, starts, stops and watches services through the
// service control manager, as another process sees them (sc.exe of Wine cannot
// change a service's configuration, and prints no check points).
//
//   service_tool.exe create NAME PATH        own-process service, demand start
//   service_tool.exe start NAME [WATCH_MS]   StartServiceW
//   service_tool.exe stop NAME [WATCH_MS]    ControlService(SERVICE_CONTROL_STOP)
//   service_tool.exe query NAME [WATCH_MS]   no request
//
// Output, one JSON object per line: first the request,
//   {"request":"start","ok":true,"error":0,"tick":T}
// then the status read by QueryServiceStatusEx right after it and every
// different status (state, check point, wait hint) seen by polling every
// 10 ms, until the state is neither start nor stop pending or WATCH_MS (0 by
// default) have passed:
//   {"tick":T,"state":2,"checkpoint":3,"waithint":4000,"pid":42,"exitcode":0}
// Exit code 0 unless the manager or the service cannot be opened (2) or the
// request failed (1).
#include <windows.h>

#include <cwchar>
#include <string>

#include "base/win32_raii.h"
#include "helper_common.h"

namespace {

using UniqueService = UniqueResource<NullTraits<SC_HANDLE, &CloseServiceHandle>>;

std::string RequestLine(const char* request, bool ok, DWORD error) {
    return std::string("{\"request\":\"") + request + "\",\"ok\":" + (ok ? "true" : "false") +
           ",\"error\":" + std::to_string(error) + ",\"tick\":" + std::to_string(GetTickCount()) + "}\n";
}

bool Query(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    status = {};
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof status, &needed) != FALSE;
}

std::string StatusLine(const SERVICE_STATUS_PROCESS& s) {
    return "{\"tick\":" + std::to_string(GetTickCount()) + ",\"state\":" + std::to_string(s.dwCurrentState) +
           ",\"checkpoint\":" + std::to_string(s.dwCheckPoint) + ",\"waithint\":" +
           std::to_string(s.dwWaitHint) + ",\"pid\":" + std::to_string(s.dwProcessId) +
           ",\"exitcode\":" + std::to_string(s.dwWin32ExitCode) + "}\n";
}

bool SameReport(const SERVICE_STATUS_PROCESS& a, const SERVICE_STATUS_PROCESS& b) {
    return a.dwCurrentState == b.dwCurrentState && a.dwCheckPoint == b.dwCheckPoint &&
           a.dwWaitHint == b.dwWaitHint;
}

// Prints the status now and each different one, for `watchMs` at most and
// only while the state is pending.
void Watch(SC_HANDLE service, DWORD watchMs) {
    SERVICE_STATUS_PROCESS last{};
    bool any = false;
    const DWORD began = GetTickCount();
    for (;;) {
        SERVICE_STATUS_PROCESS now{};
        if (Query(service, now) && (!any || !SameReport(now, last))) {
            helper::WriteStdout(StatusLine(now));
            last = now;
            any = true;
        }
        const bool pending = now.dwCurrentState == SERVICE_START_PENDING ||
                             now.dwCurrentState == SERVICE_STOP_PENDING;
        if (GetTickCount() - began >= watchMs || (any && !pending)) return;
        Sleep(10);
    }
}

int Create(SC_HANDLE manager, const wchar_t* name, const wchar_t* path) {
    const std::wstring command = std::wstring(L"\"") + path + L"\"";
    UniqueService service(CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                         SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, command.c_str(), nullptr,
                                         nullptr, nullptr, nullptr, nullptr));
    const DWORD error = service ? 0 : GetLastError();
    helper::WriteStdout(RequestLine("create", service.Valid(), error));
    return service ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        helper::WriteStderr("usage: service_tool.exe create|start|stop|query NAME [PATH|MS]\n");
        return 2;
    }
    const std::wstring command = argv[1];
    const wchar_t* name = argv[2];
    UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        helper::WriteStderr("cannot open the service control manager\n");
        return 2;
    }
    if (command == L"create") return argc == 4 ? Create(manager.Get(), name, argv[3]) : 2;

    UniqueService service(OpenServiceW(manager.Get(), name, SERVICE_ALL_ACCESS));
    if (!service) {
        helper::WriteStdout(RequestLine("open", false, GetLastError()));
        return 2;
    }
    const DWORD watchMs = argc > 3 ? std::wcstoul(argv[3], nullptr, 10) : 0;
    bool ok = true;
    if (command == L"start") {
        ok = StartServiceW(service.Get(), 0, nullptr) != FALSE;
        helper::WriteStdout(RequestLine("start", ok, ok ? 0 : GetLastError()));
    } else if (command == L"stop") {
        SERVICE_STATUS status{};
        ok = ControlService(service.Get(), SERVICE_CONTROL_STOP, &status) != FALSE;
        helper::WriteStdout(RequestLine("stop", ok, ok ? 0 : GetLastError()));
    } else if (command != L"query") {
        return 2;
    }
    Watch(service.Get(), watchMs);
    return ok ? 0 : 1;
}
