// rstrtmgr.dll for Wine prefixes: Wine's own Restart Manager lists no process
// for any file, so scenarios that close the users of shared libraries install
// this one (native override) in its place.
//
// It supports what a caller needs to find the users of files: sessions, the
// registration of files, and the list of the processes that have one of the
// files loaded (image or module). Registering applications or services is not
// supported (ERROR_CALL_NOT_IMPLEMENTED), and RmShutdown and the rest are not
// exported.
//
// For tests, the REG_MULTI_SZ value "CrowdedFiles" of
// HKCU\Software\Testbed\Restart Manager names files that RmGetList treats as
// used by more than 100 processes besides the real users: for a session with
// such a file it answers ERROR_MORE_DATA whatever the array's size.
#include <windows.h>
#include <restartmanager.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "base/win32_raii.h"
#include "file_users.h"

namespace {

constexpr DWORD kMaxSessions = 64;          // as many as Windows allows at once
constexpr DWORD kMaxSessionsReached = 353;  // ERROR_MAX_SESSIONS_REACHED, missing from mingw's headers
constexpr UINT kCrowdOfOtherProcesses = 101;
constexpr wchar_t kSettingsKey[] = L"Software\\Testbed\\Restart Manager";

struct Session {
    std::vector<std::wstring> files;
};

SRWLOCK g_lock = SRWLOCK_INIT;
std::map<DWORD, Session> g_sessions;
DWORD g_nextHandle = 0;

class ExclusiveLock {
 public:
    ExclusiveLock() { AcquireSRWLockExclusive(&g_lock); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&g_lock); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;
};

std::vector<std::wstring> CrowdedFiles() {
    std::vector<std::wstring> files;
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) {
        return files;
    }
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.Get(), L"CrowdedFiles", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ) {
        return files;
    }
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 2, L'\0');
    if (RegQueryValueExW(key.Get(), L"CrowdedFiles", nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()),
                         &size) != ERROR_SUCCESS) {
        return files;
    }
    for (const wchar_t* p = text.data(); *p != L'\0'; p += std::wcslen(p) + 1) files.emplace_back(p);
    return files;
}

bool AnyCrowded(const std::vector<std::wstring>& files) {
    const std::vector<std::wstring> crowded = CrowdedFiles();
    for (const std::wstring& file : files) {
        for (const std::wstring& c : crowded) {
            if (SamePath(file, c)) return true;
        }
    }
    return false;
}

void CopyText(WCHAR* target, size_t capacity, const std::wstring& text) {
    const size_t n = std::min(text.size(), capacity - 1);
    std::wmemcpy(target, text.data(), n);
    target[n] = L'\0';
}

RM_PROCESS_INFO ProcessInfo(const FileUser& user) {
    RM_PROCESS_INFO info{};
    info.Process.dwProcessId = user.processId;
    info.Process.ProcessStartTime = user.startTime;
    CopyText(info.strAppName, CCH_RM_MAX_APP_NAME + 1, user.displayName);
    CopyText(info.strServiceShortName, CCH_RM_MAX_SVC_NAME + 1, user.serviceName);
    info.ApplicationType = user.serviceName.empty() ? RmUnknownApp : RmService;
    info.AppStatus = RmStatusRunning;
    DWORD sessionId = 0;
    info.TSSessionId = ProcessIdToSessionId(user.processId, &sessionId) ? sessionId : 0;
    info.bRestartable = FALSE;
    return info;
}

}  // namespace

extern "C" {

// Missing pointers that a function needs are ERROR_BAD_ARGUMENTS, as on Windows.

DWORD WINAPI RmStartSession(DWORD* pSessionHandle, DWORD /*dwSessionFlags: reserved*/, WCHAR strSessionKey[]) {
    if (pSessionHandle == nullptr || strSessionKey == nullptr) return ERROR_BAD_ARGUMENTS;
    ExclusiveLock lock;
    if (g_sessions.size() >= kMaxSessions) return kMaxSessionsReached;
    const DWORD handle = g_nextHandle++;
    g_sessions[handle] = Session{};
    // The key only has to be unique: process, session and time.
    swprintf(strSessionKey, CCH_RM_SESSION_KEY + 1, L"%08lx%08lx%08lx%08lx", GetCurrentProcessId(), handle,
             GetTickCount(), 0x52534D47ul);
    *pSessionHandle = handle;
    return ERROR_SUCCESS;
}

DWORD WINAPI RmRegisterResources(DWORD dwSessionHandle, UINT nFiles, LPCWSTR rgsFileNames[], UINT nApplications,
                                 RM_UNIQUE_PROCESS rgApplications[], UINT nServices, LPCWSTR rgsServiceNames[]) {
    if ((nFiles > 0 && rgsFileNames == nullptr) || (nApplications > 0 && rgApplications == nullptr) ||
        (nServices > 0 && rgsServiceNames == nullptr)) {
        return ERROR_BAD_ARGUMENTS;
    }
    ExclusiveLock lock;
    const auto session = g_sessions.find(dwSessionHandle);
    if (session == g_sessions.end()) return ERROR_INVALID_HANDLE;
    if (nApplications > 0 || nServices > 0) return ERROR_CALL_NOT_IMPLEMENTED;
    for (UINT i = 0; i < nFiles; ++i) {
        if (rgsFileNames[i] == nullptr) return ERROR_BAD_ARGUMENTS;
    }
    session->second.files.insert(session->second.files.end(), rgsFileNames, rgsFileNames + nFiles);
    return ERROR_SUCCESS;
}

DWORD WINAPI RmGetList(DWORD dwSessionHandle, UINT* pnProcInfoNeeded, UINT* pnProcInfo,
                       RM_PROCESS_INFO rgAffectedApps[], LPDWORD lpdwRebootReasons) {
    if (pnProcInfoNeeded == nullptr || pnProcInfo == nullptr || lpdwRebootReasons == nullptr ||
        (*pnProcInfo > 0 && rgAffectedApps == nullptr)) {
        return ERROR_BAD_ARGUMENTS;
    }
    std::vector<std::wstring> files;
    {
        ExclusiveLock lock;
        const auto session = g_sessions.find(dwSessionHandle);
        if (session == g_sessions.end()) return ERROR_INVALID_HANDLE;
        files = session->second.files;
    }
    const std::vector<FileUser> users = FindFileUsers(files);
    *lpdwRebootReasons = RmRebootReasonNone;
    if (AnyCrowded(files)) {
        *pnProcInfoNeeded = static_cast<UINT>(users.size()) + kCrowdOfOtherProcesses;
        *pnProcInfo = 0;
        return ERROR_MORE_DATA;
    }
    *pnProcInfoNeeded = static_cast<UINT>(users.size());
    if (*pnProcInfo < users.size()) {
        *pnProcInfo = 0;
        return ERROR_MORE_DATA;
    }
    for (size_t i = 0; i < users.size(); ++i) rgAffectedApps[i] = ProcessInfo(users[i]);
    *pnProcInfo = static_cast<UINT>(users.size());
    return ERROR_SUCCESS;
}

DWORD WINAPI RmEndSession(DWORD dwSessionHandle) {
    ExclusiveLock lock;
    return g_sessions.erase(dwSessionHandle) > 0 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // extern "C"
