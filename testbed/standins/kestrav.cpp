// kestrav.exe: stand-in for the maker's TV-recording application. Installed in
// a simulated PC as "...\Orvane\Tunerbay\Kestrav.exe".
//
// Started without arguments it runs without a window until it is asked to quit.
// Started with "/q" or "/Q" it asks the running instance to end and ends itself.
// When the file "Kestrav.ini" beside the program has
//     [StandIn]
//     IgnoreQuit=1
// or the environment variable KESTRAV_IGNORE_QUIT is "1" in the running
// instance, quit requests are ignored (a recorder that refuses to close). The
// option is read at each request, so a test can change it while it runs.
//
// Every start, request and end is appended to "Kestrav.log" beside the program
// (one line each: "<event> pid=<pid> args=<command line>"), so that a test can
// tell what the program under test did to it.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "helper_common.h"  // from tests/wine/helpers

namespace {

const wchar_t kQuitEvent[] = L"KestravStandIn.Quit";

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : folder.substr(0, slash);
}

void Note(const std::string& event) {
    std::wstring path = ModuleFolder() + L"\\Kestrav.log";
    HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    std::string line = event + " pid=" + std::to_string(GetCurrentProcessId()) +
                       " args=" + helper::ToUtf8(GetCommandLineW()) + "\r\n";
    helper::WriteAll(h, line);
    CloseHandle(h);
}

bool IgnoresQuit() {
    wchar_t env[8] = {};
    if (GetEnvironmentVariableW(L"KESTRAV_IGNORE_QUIT", env, 8) && std::wstring(env) == L"1")
        return true;
    std::wstring ini = ModuleFolder() + L"\\Kestrav.ini";
    return GetPrivateProfileIntW(L"StandIn", L"IgnoreQuit", 0, ini.c_str()) != 0;
}

bool HasQuitSwitch() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bool quit = false;
    for (int i = 1; argv && i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"/q" || a == L"/Q") quit = true;
    }
    LocalFree(argv);
    return quit;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (HasQuitSwitch()) {
        HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, kQuitEvent);
        Note(event ? "quit-request" : "quit-request-no-instance");
        if (event) {
            SetEvent(event);
            CloseHandle(event);
        }
        return 0;
    }

    // Auto-reset: each request wakes one running instance once.
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, kQuitEvent);
    if (!event) return 1;
    Note("start");
    for (;;) {
        WaitForSingleObject(event, INFINITE);
        if (!IgnoresQuit()) break;
        Note("quit-ignored");
    }
    Note("exit");
    CloseHandle(event);
    return 0;
}
