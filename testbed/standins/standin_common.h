// What the stand-ins of the maker's programs and services share. One program
// serves under many names, so everything follows from the name it was
// installed under ("...\Castwell.exe" is "Castwell"):
//   - settings: the environment variable "<NAME>_<KEY>" (name in upper case)
//     first, then the key of section [StandIn] in "<Name>.ini" beside it;
//   - log: one line per event appended to "<Name>.log" beside it,
//     "<event> pid=<pid> tick=<GetTickCount>[ <key>=<value>...] args=<command line>",
//     where a value with spaces is quoted;
//   - watched libraries: setting "Libraries", full paths separated by ";",
//     loaded with LoadLibraryW and kept loaded until the end.
#pragma once

#include <windows.h>

#include <cwctype>
#include <string>
#include <vector>

#include "base/win32_raii.h"
#include "helper_common.h"  // from tests/wine/helpers

namespace standin {

using UniqueModule = UniqueResource<NullTraits<HMODULE, &FreeLibrary>>;

inline std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

inline std::wstring Folder() {
    std::wstring path = ModulePath();
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

// The executable's name without folder and extension, as installed.
inline std::wstring Name() {
    std::wstring path = ModulePath();
    size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

inline std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

inline std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// A setting's text, empty when neither the environment nor the ini has it.
// Read anew at each call, so that a test can change it while the stand-in runs.
inline std::wstring Setting(const wchar_t* iniKey, const wchar_t* envSuffix) {
    std::wstring env = Upper(Name()) + L"_" + envSuffix;
    DWORD size = GetEnvironmentVariableW(env.c_str(), nullptr, 0);
    if (size > 0) {
        std::wstring value(size, L'\0');
        value.resize(GetEnvironmentVariableW(env.c_str(), &value[0], size));
        return value;
    }
    std::wstring ini = Folder() + L"\\" + Name() + L".ini";
    std::wstring value(32768, L'\0');
    value.resize(GetPrivateProfileStringW(L"StandIn", iniKey, L"", &value[0],
                                          static_cast<DWORD>(value.size()), ini.c_str()));
    return value;
}

inline DWORD SettingNumber(const wchar_t* iniKey, const wchar_t* envSuffix, DWORD fallback = 0) {
    std::wstring text = Setting(iniKey, envSuffix);
    if (text.empty()) return fallback;
    return static_cast<DWORD>(std::wcstoul(text.c_str(), nullptr, 10));
}

inline bool SettingFlag(const wchar_t* iniKey, const wchar_t* envSuffix) {
    return SettingNumber(iniKey, envSuffix) != 0;
}

// A log field "key=value", quoted when the value holds a space.
inline std::string Field(const char* key, const std::wstring& value) {
    std::string text = helper::ToUtf8(value);
    if (text.find(' ') != std::string::npos) text = "\"" + text + "\"";
    return std::string(" ") + key + "=" + text;
}

inline std::string Field(const char* key, unsigned long value) {
    return std::string(" ") + key + "=" + std::to_string(value);
}

// Appends one line to "<Name>.log"; `fields` are made with Field().
inline void Note(const std::string& event, const std::string& fields = std::string()) {
    std::wstring path = Folder() + L"\\" + Name() + L".log";
    UniqueFileHandle log(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log) return;
    std::string line = event + Field("pid", GetCurrentProcessId()) + Field("tick", GetTickCount()) +
                       fields + " args=" + helper::ToUtf8(GetCommandLineW()) + "\r\n";
    helper::WriteAll(log.Get(), line);
}

// Loads the libraries of the "Libraries" setting; each attempt is logged as
// "load library=<path> result=ok" or "result=<error code>".
inline std::vector<UniqueModule> LoadLibraries() {
    std::vector<UniqueModule> loaded;
    std::wstring list = Setting(L"Libraries", L"LIBRARIES");
    size_t begin = 0;
    while (begin < list.size()) {
        size_t end = list.find(L';', begin);
        if (end == std::wstring::npos) end = list.size();
        std::wstring path = list.substr(begin, end - begin);
        begin = end + 1;
        if (path.empty()) continue;
        UniqueModule module(LoadLibraryW(path.c_str()));
        DWORD error = module ? 0 : GetLastError();
        Note("load", Field("library", path) + (module ? std::string(" result=ok") : Field("result", error)));
        if (module) loaded.push_back(std::move(module));
    }
    return loaded;
}

}  // namespace standin
