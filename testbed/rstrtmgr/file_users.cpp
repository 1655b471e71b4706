#include "file_users.h"

#include <tlhelp32.h>

#include <map>
#include <utility>

#include "base/win32_raii.h"

namespace {

using UniqueService = UniqueResource<NullTraits<SC_HANDLE, &CloseServiceHandle>>;

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// A module snapshot of another process can fail while it starts or ends
// (ERROR_BAD_LENGTH, ERROR_PARTIAL_COPY): a few tries, then the process is passed over.
UniqueFileHandle ModuleSnapshot(DWORD processId) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, processId));
        if (snapshot || GetLastError() != ERROR_BAD_LENGTH) return snapshot;
    }
    return UniqueFileHandle();
}

bool HoldsOneOf(DWORD processId, const std::vector<std::wstring>& files) {
    UniqueFileHandle snapshot = ModuleSnapshot(processId);
    if (!snapshot) return false;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    for (BOOL more = Module32FirstW(snapshot.Get(), &module); more; more = Module32NextW(snapshot.Get(), &module)) {
        const std::wstring path = module.szExePath;
        for (const std::wstring& file : files) {
            // Cheap test first: only modules of the same file name are compared in full.
            if (SameText(FileNameOf(path), FileNameOf(file)) && SamePath(path, file)) return true;
        }
    }
    return false;
}

FILETIME StartTimeOf(DWORD processId) {
    FILETIME created{}, exited{}, kernel{}, user{};
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process || !GetProcessTimes(process.Get(), &created, &exited, &kernel, &user)) return FILETIME{};
    return created;
}

// {process id: (service name, display name)} of the running services.
std::map<DWORD, std::pair<std::wstring, std::wstring>> RunningServices() {
    std::map<DWORD, std::pair<std::wstring, std::wstring>> services;
    UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager) return services;
    DWORD needed = 0, count = 0, resume = 0;
    EnumServicesStatusExW(manager.Get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE, nullptr, 0, &needed,
                          &count, &resume, nullptr);
    if (GetLastError() != ERROR_MORE_DATA) return services;
    std::vector<BYTE> buffer(needed);
    resume = 0;
    if (!EnumServicesStatusExW(manager.Get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE, buffer.data(),
                               needed, &needed, &count, &resume, nullptr)) {
        return services;
    }
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        const DWORD pid = entries[i].ServiceStatusProcess.dwProcessId;
        if (pid != 0) services[pid] = {entries[i].lpServiceName, entries[i].lpDisplayName};
    }
    return services;
}

}  // namespace

std::wstring ComparablePath(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (n >= full.size()) {
        full.resize(n);
        n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    }
    if (n == 0 || n >= full.size()) return path;
    full.resize(n);
    std::wstring longer(MAX_PATH, L'\0');
    n = GetLongPathNameW(full.c_str(), &longer[0], static_cast<DWORD>(longer.size()));
    if (n >= longer.size()) {
        longer.resize(n);
        n = GetLongPathNameW(full.c_str(), &longer[0], static_cast<DWORD>(longer.size()));
    }
    if (n == 0 || n >= longer.size()) return full;  // a file that is gone compares by its full path
    longer.resize(n);
    return longer;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return SameText(a, b) || SameText(ComparablePath(a), ComparablePath(b));
}

std::vector<FileUser> FindFileUsers(const std::vector<std::wstring>& files) {
    std::vector<FileUser> users;
    if (files.empty()) return users;
    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return users;
    const auto services = RunningServices();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == 0 || !HoldsOneOf(entry.th32ProcessID, files)) continue;
        FileUser user;
        user.processId = entry.th32ProcessID;
        user.startTime = StartTimeOf(entry.th32ProcessID);
        user.exeName = entry.szExeFile;
        user.displayName = entry.szExeFile;
        const auto service = services.find(entry.th32ProcessID);
        if (service != services.end()) {
            user.serviceName = service->second.first;
            user.displayName = service->second.second;
        }
        users.push_back(std::move(user));
    }
    return users;
}
