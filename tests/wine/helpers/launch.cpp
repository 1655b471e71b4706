// launch.exe: starts a program, waits for it and reports its full 32-bit exit
// code. Under Wine the Unix exit status of a process keeps only 8 bits, so the
// test harness reads the code that this program writes instead.
//
//   launch.exe [--exit-code-file FILE] [--times-file FILE] [--deny-admins] [--cwd DIR]
//              [--hidden-station] -- PROGRAM [ARGS...]
//
// The code is written as "0x%08X" followed by a line feed, to FILE or else to
// the standard output. --times-file receives the program's lifetime, from its
// creation to its exit as Windows records them, in milliseconds: the time of
// the run without the harness' own start-up. With --deny-admins the program runs with a restricted
// copy of this process' token in which BUILTIN\Administrators is present for
// deny only. With --hidden-station the program runs on a desktop of a window
// station of its own, which no user sees (as a service's programs in session 0).
//
// Exit code of launch.exe itself: 0 when the program ran (whatever its own exit
// code), 2 for bad usage, 3 when the program could not be started or waited
// for, 4 when the exit code could not be written.
#include <windows.h>

#include <string>
#include <vector>

#include "helper_common.h"

namespace {

// Quotes one argument so that CommandLineToArgvW and the C runtime of the
// child give it back unchanged.
std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
        } else if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
            out += c;
            backslashes = 0;
        } else {
            out.append(backslashes, L'\\');
            out += c;
            backslashes = 0;
        }
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

void Fail(const char* what) {
    helper::WriteStderr(std::string("launch: ") + what + " (error " +
                        std::to_string(GetLastError()) + ")\n");
}

// A primary token like our own, with BUILTIN\Administrators turned into a
// deny-only group.
HANDLE MakeDenyAdminsToken() {
    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(),
                          TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_QUERY, &own)) {
        Fail("OpenProcessToken failed");
        return nullptr;
    }
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins)) {
        Fail("AllocateAndInitializeSid failed");
        CloseHandle(own);
        return nullptr;
    }
    SID_AND_ATTRIBUTES disable = {admins, 0};
    HANDLE restricted = nullptr;
    if (!CreateRestrictedToken(own, 0, 1, &disable, 0, nullptr, 0, nullptr, &restricted)) {
        Fail("CreateRestrictedToken failed");
        restricted = nullptr;
    }
    FreeSid(admins);
    CloseHandle(own);
    return restricted;
}

// A window station that is not shown (a new one never is) with a desktop;
// its name for STARTUPINFO, or empty.
std::wstring MakeHiddenDesktop() {
    const wchar_t station_name[] = L"UpdaterTestHidden";
    HWINSTA station = CreateWindowStationW(station_name, 0, WINSTA_ALL_ACCESS, nullptr);
    if (station == nullptr) {
        Fail("CreateWindowStationW failed");
        return std::wstring();
    }
    const HWINSTA own = GetProcessWindowStation();
    // A desktop is made in the station of the calling process.
    if (!SetProcessWindowStation(station)) {
        Fail("SetProcessWindowStation failed");
        return std::wstring();
    }
    HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
    if (desktop == nullptr) {
        Fail("CreateDesktopW failed");
        return std::wstring();
    }
    // Both stay open (and so exist) until this process ends after the program.
    return std::wstring(station_name) + L"\\Default";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring exit_code_file;
    std::wstring times_file;
    std::wstring cwd;
    bool deny_admins = false;
    bool hidden_station = false;
    int i = 1;
    for (; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--") {
            ++i;
            break;
        } else if (a == L"--exit-code-file" && i + 1 < argc) {
            exit_code_file = argv[++i];
        } else if (a == L"--times-file" && i + 1 < argc) {
            times_file = argv[++i];
        } else if (a == L"--cwd" && i + 1 < argc) {
            cwd = argv[++i];
        } else if (a == L"--deny-admins") {
            deny_admins = true;
        } else if (a == L"--hidden-station") {
            hidden_station = true;
        } else {
            break;
        }
    }
    if (i >= argc) {
        helper::WriteStderr(
            "usage: launch.exe [--exit-code-file FILE] [--times-file FILE] [--deny-admins] "
            "[--cwd DIR] [--hidden-station] -- PROGRAM [ARGS...]\n");
        return 2;
    }

    std::wstring command_line;
    for (int k = i; k < argc; ++k) {
        if (!command_line.empty()) command_line += L' ';
        command_line += QuoteArgument(argv[k]);
    }
    std::vector<wchar_t> mutable_line(command_line.begin(), command_line.end());
    mutable_line.push_back(L'\0');

    STARTUPINFOW si = {};
    si.cb = sizeof si;
    std::wstring desktop;
    if (hidden_station) {
        desktop = MakeHiddenDesktop();
        if (desktop.empty()) return 3;
        si.lpDesktop = desktop.data();
    }
    PROCESS_INFORMATION pi = {};
    const wchar_t* dir = cwd.empty() ? nullptr : cwd.c_str();
    BOOL started;
    if (deny_admins) {
        HANDLE token = MakeDenyAdminsToken();
        if (!token) return 3;
        started = CreateProcessAsUserW(token, nullptr, mutable_line.data(), nullptr, nullptr,
                                       TRUE, 0, nullptr, dir, &si, &pi);
        CloseHandle(token);
    } else {
        started = CreateProcessW(nullptr, mutable_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 dir, &si, &pi);
    }
    if (!started) {
        Fail("could not start the program");
        return 3;
    }
    CloseHandle(pi.hThread);
    DWORD code = 0;
    if (WaitForSingleObject(pi.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(pi.hProcess, &code)) {
        Fail("could not wait for the program");
        CloseHandle(pi.hProcess);
        return 3;
    }
    FILETIME created{}, exited{}, kernel{}, user{};
    const bool timed = GetProcessTimes(pi.hProcess, &created, &exited, &kernel, &user) != FALSE;
    CloseHandle(pi.hProcess);
    if (!times_file.empty() && timed) {
        const auto ticks = [](const FILETIME& t) {
            return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
        };
        const unsigned long long lifetime = ticks(exited) > ticks(created) ? ticks(exited) - ticks(created) : 0;
        if (!helper::WriteFileAtomically(times_file, std::to_string(lifetime / 10000) + "\n")) {
            Fail("could not write the times");
            return 4;
        }
    }

    std::string line = helper::Hex32(code) + "\n";
    bool written = exit_code_file.empty() ? helper::WriteStdout(line)
                                          : helper::WriteFileAtomically(exit_code_file, line);
    if (!written) {
        Fail("could not write the exit code");
        return 4;
    }
    return 0;
}
