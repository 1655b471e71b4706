// standin_program.exe: stand-in for the maker's programs and for other
// programs that use the shared libraries. A simulated PC installs copies of it
// under the programs' names (Travio.exe, Castwell.exe, Kestrav.exe, ...); it
// behaves the same under each, configured by its name (see standin_common.h).
//
// Started without a quit switch it loads its watched libraries and runs
// without a window until it is asked to quit. Started with "/q" or "/Q" it
// asks the running instance of the same executable name to end (a named event
// per name) and ends itself.
//
// Settings ([StandIn] of "<Name>.ini", or the environment "<NAME>_..."):
//   IgnoreQuit=1   (<NAME>_IGNORE_QUIT)   quit requests are ignored
//   QuitDelayMs=N  (<NAME>_QUIT_DELAY_MS) time between a request and the end
//   Libraries=...  (<NAME>_LIBRARIES)     watched libraries to keep loaded
// IgnoreQuit and QuitDelayMs are read at each request.
//
// Log events: start, load, quit-request (or quit-request-no-instance, written
// by the instance started with the switch), quit-ignored, exit.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "standin_common.h"

namespace {

// Each name has its own event; names compare as Windows compares file names.
std::wstring QuitEventName() { return L"StandIn.Quit." + standin::Lower(standin::Name()); }

bool HasQuitSwitch() {
    int argc = 0;
    UniqueLocal args(CommandLineToArgvW(GetCommandLineW(), &argc));
    wchar_t** argv = static_cast<wchar_t**>(args.Get());
    for (int i = 1; argv && i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"/q" || a == L"/Q") return true;
    }
    return false;
}

int AskRunningInstanceToQuit() {
    UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, QuitEventName().c_str()));
    standin::Note(event ? "quit-request" : "quit-request-no-instance");
    if (event) SetEvent(event.Get());
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (HasQuitSwitch()) return AskRunningInstanceToQuit();

    // Auto-reset: each request wakes one running instance once.
    UniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, QuitEventName().c_str()));
    if (!event) return 1;
    standin::Note("start");
    std::vector<standin::UniqueModule> libraries = standin::LoadLibraries();
    for (;;) {
        WaitForSingleObject(event.Get(), INFINITE);
        if (!standin::SettingFlag(L"IgnoreQuit", L"IGNORE_QUIT")) break;
        standin::Note("quit-ignored");
    }
    DWORD delay = standin::SettingNumber(L"QuitDelayMs", L"QUIT_DELAY_MS");
    if (delay > 0) Sleep(delay);
    standin::Note("exit", delay > 0 ? standin::Field("delay", delay) : std::string());
    return 0;
}
