#include "control/affected_processes.h"

#include <cstring>
#include <vector>

#include "base/system_library.h"
#include "base/win32_raii.h"
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

static_assert(static_cast<uint32_t>(ListedKind::kService) == RmService &&
              static_cast<uint32_t>(ListedKind::kExplorer) == RmExplorer &&
              static_cast<uint32_t>(ListedKind::kConsole) == RmConsole &&
              static_cast<uint32_t>(ListedKind::kCritical) == RmCritical,
              "the kinds of listed processes are the Restart Manager's application types");

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
  return TerminateIdentifiedProcess(listed.dwProcessId, FileTimeValue(listed.ProcessStartTime));
}

ListedProcess ReadAffectedProcess(int32_t index, DWORD& error) {
  ListedProcess listed;
  const RestartManagerState& state = AffectedProcessState();
  if (index < 0 || index >= state.count || index >= kMaxAffectedProcesses) {
    error = ERROR_INVALID_INDEX;
    return listed;
  }
  const RM_PROCESS_INFO& info = state.processes[index];
  listed.kind = static_cast<ListedKind>(info.ApplicationType);
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, info.Process.dwProcessId));
  error = process ? ReadProcessImage(process.Get(), listed.imagePath) : GetLastError();
  return listed;
}
