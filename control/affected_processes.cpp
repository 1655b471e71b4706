#include "control/affected_processes.h"

#include <psapi.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "app/silent_mode.h"
#include "app/system_library.h"
#include "app/win32_raii.h"
#include "control/process_tools.h"

namespace {

// The Restart Manager of the system folder; a member is null where it is missing.
struct RestartManagerApi {
  decltype(&RmStartSession) startSession;
  decltype(&RmRegisterResources) registerResources;
  decltype(&RmGetList) getList;
  decltype(&RmEndSession) endSession;
};

const RestartManagerApi& RestartManager() {
  static const RestartManagerApi api = {
      SystemFunction<decltype(&RmStartSession)>(L"rstrtmgr.dll", "RmStartSession"),
      SystemFunction<decltype(&RmRegisterResources)>(L"rstrtmgr.dll", "RmRegisterResources"),
      SystemFunction<decltype(&RmGetList)>(L"rstrtmgr.dll", "RmGetList"),
      SystemFunction<decltype(&RmEndSession)>(L"rstrtmgr.dll", "RmEndSession")};
  return api;
}

}  // namespace

RestartManagerState& AffectedProcessState() {
  static RestartManagerState state;
  return state;
}

int32_t ListLibraryUsers(const std::wstring& libraryPath) {
  RestartManagerState& state = AffectedProcessState();
  state.count = 0;
  std::vector<wchar_t> path(libraryPath.begin(), libraryPath.end());
  path.push_back(L'\0');
  const RestartManagerApi& rm = RestartManager();
  if (rm.startSession == nullptr || rm.registerResources == nullptr || rm.getList == nullptr ||
      rm.endSession == nullptr) {
    return 0;
  }
  if (rm.startSession(&state.session, 0, state.sessionKey) != ERROR_SUCCESS) return 0;
  LPCWSTR files[] = {path.data()};
  if (rm.registerResources(state.session, 1, files, 0, nullptr, 0, nullptr) != ERROR_SUCCESS) return 0;
  UINT needed = 0;
  UINT listed = kMaxAffectedProcesses;
  DWORD rebootReasons = 0;
  if (rm.getList(state.session, &needed, &listed, state.processes, &rebootReasons) == ERROR_SUCCESS) {
    state.count = static_cast<int32_t>(listed);
  }
  return state.count;
}

void EndLibraryQuery() {
  RestartManagerState& state = AffectedProcessState();
  if (state.session != kNoRestartManagerSession) {
    RestartManager().endSession(state.session);
    state.session = kNoRestartManagerSession;
  }
  state.count = 0;
  std::memset(state.processes, 0, sizeof state.processes);
}

bool TerminateAffectedProcess(int32_t index) {
  const RestartManagerState& state = AffectedProcessState();
  if (index < 0 || index >= state.count || index >= kMaxAffectedProcesses) return false;
  const RM_UNIQUE_PROCESS& listed = state.processes[index].Process;
  if (listed.dwProcessId == GetCurrentProcessId()) return false;
  UniqueHandle process(OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, listed.dwProcessId));
  if (!process) return false;
  // The id may have been reused since the list was made: the start time tells.
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process.Get(), &created, &exited, &kernel, &user) ||
      CompareFileTime(&created, &listed.ProcessStartTime) != 0) {
    return false;
  }
  return TerminateAndWait(process.Get());
}

int GetAffectedProcessImage(int32_t index, wchar_t (&buffer)[kImagePathChars]) {
  std::wmemset(buffer, L'\0', kImagePathChars);
  const RestartManagerState& state = AffectedProcessState();
  if (index < 0 || index >= state.count || index >= kMaxAffectedProcesses) return 0;
  UniqueHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, state.processes[index].Process.dwProcessId));
  if (!process) return 1;
  if (GetProcessImageFileNameW(process.Get(), buffer, kImagePathChars) == 0) {
    const DWORD error = GetLastError();
    buffer[0] = L'\0';
    ReportImageReadFailure(error);
  } else {
    buffer[kImagePathChars - 1] = L'\0';
  }
  return 1;
}

bool ReportImageReadFailure(DWORD error) {
  // Started silently by the update tool, nobody is there to close a box: the
  // worker would wait on it for good and the update would never end.
  if (IsLaunchedByUpdateTool()) return false;
  UniqueLocal text;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, LANG_USER_DEFAULT,
                 reinterpret_cast<LPWSTR>(text.Receive()), 0, nullptr);
  const wchar_t* message = text ? static_cast<const wchar_t*>(text.Get()) : L"";
  MessageBoxW(nullptr, message, L"", MB_ICONINFORMATION);
  return true;
}
