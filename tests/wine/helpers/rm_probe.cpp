// rm_probe.exe: asks the Restart Manager which processes use some files, the
// way the updater does (a session, the files registered, one list, the end of
// the session), and prints what each call answered as one JSON object:
//
//   rm_probe.exe [--capacity N] [--no-reboot-reasons] FILE...
//
//   {"start":0,"key":"...","register":0,"list":234,"needed":102,"count":0,
//    "reboot":0,"processes":[{"pid":42,"start_time":133..,"app":"Vidgrab.exe",
//    "service":"","type":0,"status":1}],"end":0,"list_after_end":6}
//
// N is the size of the array handed to RmGetList (default 100);
// --no-reboot-reasons passes no place for the reboot reasons; start_time is
// the process's start as a FILETIME count; list_after_end is what RmGetList
// answers for the session once it has ended. Linked against rstrtmgr.dll, so
// it uses whichever implementation the prefix loads.
#include <windows.h>
#include <restartmanager.h>

#include <cwchar>
#include <string>
#include <vector>

#include "helper_common.h"

using helper::JsonString;

int wmain(int argc, wchar_t** argv) {
    UINT capacity = 100;
    bool rebootReasons = true;
    std::vector<LPCWSTR> files;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--capacity" && i + 1 < argc) {
            capacity = static_cast<UINT>(std::wcstoul(argv[++i], nullptr, 10));
        } else if (std::wstring(argv[i]) == L"--no-reboot-reasons") {
            rebootReasons = false;
        } else {
            files.push_back(argv[i]);
        }
    }
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    const DWORD started = RmStartSession(&session, 0, key);
    std::string out = "{\"start\":" + std::to_string(started) + ",\"key\":" + JsonString(key);
    if (started != ERROR_SUCCESS) {
        helper::WriteStdout(out + "}\n");
        return 1;
    }
    const DWORD registered = RmRegisterResources(session, static_cast<UINT>(files.size()), files.data(), 0,
                                                 nullptr, 0, nullptr);
    std::vector<RM_PROCESS_INFO> infos(capacity);
    UINT needed = 0, count = capacity;
    DWORD reboot = 0xFFFFFFFF;
    const DWORD listed = RmGetList(session, &needed, &count, infos.empty() ? nullptr : infos.data(),
                                   rebootReasons ? &reboot : nullptr);
    out += ",\"register\":" + std::to_string(registered) + ",\"list\":" + std::to_string(listed) +
           ",\"needed\":" + std::to_string(needed) + ",\"count\":" + std::to_string(count) +
           ",\"reboot\":" + std::to_string(reboot) + ",\"processes\":[";
    for (UINT i = 0; listed == ERROR_SUCCESS && i < count && i < infos.size(); ++i) {
        const RM_PROCESS_INFO& p = infos[i];
        const unsigned long long start =
            (static_cast<unsigned long long>(p.Process.ProcessStartTime.dwHighDateTime) << 32) |
            p.Process.ProcessStartTime.dwLowDateTime;
        out += std::string(i ? "," : "") + "{\"pid\":" + std::to_string(p.Process.dwProcessId) +
               ",\"start_time\":" + std::to_string(start) + ",\"app\":" + JsonString(p.strAppName) +
               ",\"service\":" + JsonString(p.strServiceShortName) + ",\"type\":" +
               std::to_string(p.ApplicationType) + ",\"status\":" + std::to_string(p.AppStatus) + "}";
    }
    const DWORD ended = RmEndSession(session);
    UINT neededAfter = 0, countAfter = 0;
    DWORD rebootAfter = 0;
    const DWORD listedAfter = RmGetList(session, &neededAfter, &countAfter, nullptr, &rebootAfter);
    helper::WriteStdout(out + "],\"end\":" + std::to_string(ended) + ",\"list_after_end\":" +
                        std::to_string(listedAfter) + "}\n");
    return 0;
}
