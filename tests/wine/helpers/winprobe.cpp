// winprobe.exe: reports, as one JSON object on the standard output, what a
// 32-bit Windows program sees of its environment, so that the harness can check
// that the prefixes and simulated PCs it prepares look as intended from inside.
//
//   winprobe.exe uilang              UI languages and locales
//   winprobe.exe token               the BUILTIN\Administrators entry of the token groups
//   winprobe.exe pc                  folders and registry values of the simulated PC
//   winprobe.exe processes           names of the running processes (toolhelp snapshot),
//                                    and in "entries" each with its process id
//   winprobe.exe msgbox TYPE CAPTION TEXT
//                                    shows MessageBoxW (TYPE in hex) and exits with its answer
//   winprobe.exe progress TITLE TEXT MS
//                                    shows a dialog shaped like a progress window (static
//                                    1100, progress bar 1101, no button) for MS milliseconds
//   winprobe.exe exit CODE           ends with the given 32-bit exit code (hex)
#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "helper_common.h"

namespace {

using helper::Hex32;
using helper::JsonString;

std::string Hex16(unsigned value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", value & 0xFFFFu);
    return buf;
}

int UiLanguage() {
    std::string out = "{";
    out += "\"user_ui_language\":\"" + Hex16(GetUserDefaultUILanguage()) + "\"";
    out += ",\"system_ui_language\":\"" + Hex16(GetSystemDefaultUILanguage()) + "\"";
    out += ",\"user_lang_id\":\"" + Hex16(GetUserDefaultLangID()) + "\"";
    out += ",\"user_lcid\":\"" + Hex32(GetUserDefaultLCID()) + "\"";
    out += ",\"system_lcid\":\"" + Hex32(GetSystemDefaultLCID()) + "\"";
    out += ",\"ansi_code_page\":" + std::to_string(GetACP());
    out += "}\n";
    helper::WriteStdout(out);
    return 0;
}

int AdminsGroup() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        helper::WriteStdout("{\"error\":\"OpenProcessToken\"}\n");
        return 1;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenGroups, nullptr, 0, &size);
    std::string buffer(size, '\0');
    if (size == 0 || !GetTokenInformation(token, TokenGroups, &buffer[0], size, &size)) {
        helper::WriteStdout("{\"error\":\"GetTokenInformation\"}\n");
        CloseHandle(token);
        return 1;
    }
    CloseHandle(token);
    auto* groups = reinterpret_cast<TOKEN_GROUPS*>(&buffer[0]);

    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                             0, 0, 0, 0, &admins);
    std::string out = "{\"group_count\":" + std::to_string(groups->GroupCount);
    bool found = false;
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (!EqualSid(groups->Groups[i].Sid, admins)) continue;
        DWORD attributes = groups->Groups[i].Attributes;
        found = true;
        out += ",\"admins_attributes\":\"" + Hex32(attributes) + "\"";
        out += std::string(",\"admins_enabled\":") +
               ((attributes & SE_GROUP_ENABLED) ? "true" : "false");
        out += std::string(",\"admins_deny_only\":") +
               ((attributes & SE_GROUP_USE_FOR_DENY_ONLY) ? "true" : "false");
        break;
    }
    FreeSid(admins);
    out += std::string(",\"admins_present\":") + (found ? "true" : "false") + "}\n";
    helper::WriteStdout(out);
    return 0;
}

std::string Folder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) return "null";
    return JsonString(path);
}

// A registry value of HKLM as JSON: null when absent, else its type and data
// (strings as text, everything else as hex bytes).
std::string RegistryValue(const wchar_t* key_path, const wchar_t* name, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return "null";
    DWORD type = 0;
    DWORD size = 0;
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    std::string out = "null";
    if (rc == ERROR_SUCCESS) {
        std::string data(size + 2, '\0');
        rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
        if (rc == ERROR_SUCCESS) {
            out = "{\"type\":" + std::to_string(type);
            if (type == REG_SZ || type == REG_EXPAND_SZ) {
                std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / 2);
                while (!text.empty() && text.back() == L'\0') text.pop_back();
                out += ",\"text\":" + JsonString(text);
            }
            std::string hex;
            for (DWORD i = 0; i < size; ++i) {
                char b[4];
                std::snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(data[i]));
                hex += b;
            }
            out += ",\"hex\":\"" + hex + "\"}";
        }
    }
    RegCloseKey(key);
    return out;
}

std::string FileBytesHex(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "null";
    std::string hex = "\"";
    unsigned char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got; ++i) {
            char b[4];
            std::snprintf(b, sizeof b, "%02x", buf[i]);
            hex += b;
        }
    }
    CloseHandle(h);
    return hex + "\"";
}

int SimulatedPc() {
    const wchar_t* kOrvane = L"SOFTWARE\\Orvane Corporation";
    std::wstring version_key = std::wstring(kOrvane) + L"\\Shared Info\\VersionPath\\Mirevo";
    std::wstring story_key = std::wstring(kOrvane) + L"\\Storyloom\\1.0\\App";
    std::wstring update_key = std::wstring(kOrvane) + L"\\Teloq Update";

    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    std::string out = "{";
    out += std::string("\"wow64\":") + (wow64 ? "true" : "false");
    out += ",\"program_files\":" + Folder(CSIDL_PROGRAM_FILES);
    out += ",\"program_files_x86\":" + Folder(CSIDL_PROGRAM_FILESX86);
    out += ",\"version_path\":" +
           RegistryValue(version_key.c_str(), L"Version", KEY_WOW64_32KEY);
    out += ",\"version_path_64\":" +
           RegistryValue(version_key.c_str(), L"Version", KEY_WOW64_64KEY);
    out += ",\"storyloom\":" +
           RegistryValue(story_key.c_str(), L"CurrentVersion", KEY_WOW64_32KEY);
    out += ",\"launch_installer\":" + RegistryValue(update_key.c_str(), L"LaunchInstaller", 0);

    wchar_t x86[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, x86, CSIDL_PROGRAM_FILESX86, FALSE);
    std::wstring default_file = std::wstring(x86) + L"\\Orvane\\Mirevo\\Version.txt";
    out += ",\"default_version_file\":" + JsonString(default_file);
    out += ",\"default_version_file_hex\":" + FileBytesHex(default_file);
    wchar_t pf[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, pf, CSIDL_PROGRAM_FILES, FALSE);
    std::wstring recorder = std::wstring(pf) + L"\\Orvane\\Tunerbay\\Kestrav.exe";
    out += std::string(",\"tv_recorder_installed\":") +
           (helper::FileExists(recorder) ? "true" : "false");
    out += "}\n";
    helper::WriteStdout(out);
    return 0;
}

int Processes() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 1;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    std::string names, entries;
    for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry)) {
        const char* comma = names.empty() ? "" : ",";
        names += comma + JsonString(entry.szExeFile);
        entries += std::string(comma) + "{\"pid\":" + std::to_string(entry.th32ProcessID) +
                   ",\"name\":" + JsonString(entry.szExeFile) + "}";
    }
    CloseHandle(snap);
    helper::WriteStdout("{\"processes\":[" + names + "],\"entries\":[" + entries + "]}\n");
    return 0;
}

// Appends a WORD-aligned item of an in-memory dialog template.
void AddWords(std::wstring* t, std::initializer_list<unsigned> words) {
    for (unsigned w : words) t->push_back(static_cast<wchar_t>(w));
}

void AddText(std::wstring* t, const wchar_t* text) {
    t->append(text);
    t->push_back(L'\0');
}

void AddControl(std::wstring* t, DWORD style, short x, short y, short cx, short cy, WORD id,
                const wchar_t* cls, const wchar_t* text) {
    if (t->size() % 2) t->push_back(0);  // DLGITEMTEMPLATE is DWORD aligned
    AddWords(t, {LOWORD(style), HIWORD(style), 0, 0, static_cast<unsigned short>(x),
                 static_cast<unsigned short>(y), static_cast<unsigned short>(cx),
                 static_cast<unsigned short>(cy), id});
    AddText(t, cls);
    AddText(t, text);
    AddWords(t, {0});
}

INT_PTR CALLBACK QuietDialog(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

int Progress(const wchar_t* title, const wchar_t* text, DWORD ms) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    std::wstring t;
    AddWords(&t, {LOWORD(style), HIWORD(style), 0, 0, 2, 0, 0, 250, 53, 0, 0});
    AddText(&t, L"Dialog");
    AddWords(&t, {8});
    AddText(&t, L"MS Shell Dlg");
    AddControl(&t, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER, 12, 6, 222, 24, 1100,
               L"Static", L"");
    AddControl(&t, WS_CHILD | WS_VISIBLE | WS_BORDER | PBS_SMOOTH | PBS_MARQUEE, 12, 36, 222, 9,
               1101, PROGRESS_CLASSW, L"");
    HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                             reinterpret_cast<LPCDLGTEMPLATEW>(t.data()),
                                             nullptr, QuietDialog, 0);
    if (!dialog) return 1;
    SetWindowTextW(dialog, title);
    SetDlgItemTextW(dialog, 1100, text);
    SendDlgItemMessageW(dialog, 1101, PBM_SETMARQUEE, TRUE, 0);
    SetWindowPos(dialog, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER |
                 SWP_SHOWWINDOW);
    DWORD begin = GetTickCount();
    while (GetTickCount() - begin < ms) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
    DestroyWindow(dialog);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        helper::WriteStderr("usage: winprobe.exe uilang|token|pc|processes|msgbox|progress|exit ...\n");
        return 2;
    }
    std::wstring command = argv[1];
    if (command == L"uilang") return UiLanguage();
    if (command == L"token") return AdminsGroup();
    if (command == L"pc") return SimulatedPc();
    if (command == L"processes") return Processes();
    if (command == L"msgbox" && argc == 5) {
        UINT type = static_cast<UINT>(std::wcstoul(argv[2], nullptr, 16));
        return MessageBoxW(nullptr, argv[4], argv[3], type);
    }
    if (command == L"progress" && argc == 5) {
        return Progress(argv[2], argv[3], static_cast<DWORD>(std::wcstoul(argv[4], nullptr, 10)));
    }
    if (command == L"exit" && argc == 3) {
        return static_cast<int>(std::wcstoul(argv[2], nullptr, 16));
    }
    helper::WriteStderr("winprobe: unknown command\n");
    return 2;
}
