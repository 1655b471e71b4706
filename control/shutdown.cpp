#include "control/shutdown.h"

#include <string>
#include <vector>

#include "control/affected_processes.h"
#include "control/portable/process_routing.h"
#include "control/process_tools.h"
#include "control/quit_request.h"
#include "control/service_control.h"
#include "control/portable/shutdown_steps.h"
#include "base/phase_time.h"
#include "base/trace.h"

namespace {

// The shutdown's steps carried out on this machine; every result is ignored.
class MachineShutdown : public ShutdownSystem {
 public:
  void AskProgramToQuit(const std::wstring& path, const wchar_t* quitSwitch) override {
    PhaseTime time(L"quit request " + ExecutableNameOf(path));
    const QuitResult result = ::AskProgramToQuit(path.c_str(), quitSwitch);
    if (result.outcome == QuitOutcome::kNotStarted) {
      Trace(L"program: %ls %ls: could not be started (error %lu)", path.c_str(), quitSwitch, result.error);
    } else {
      Trace(L"program: %ls %ls: %ls", path.c_str(), quitSwitch, QuitOutcomeText(result.outcome));
    }
  }
  std::vector<RunningProcess> ProcessesNamed(const std::wstring& name) override {
    std::vector<RunningProcess> found = ::ProcessesNamed(name);
    for (const RunningProcess& process : found) {
      Trace(L"program: %ls (process %lu) runs from %ls", name.c_str(), static_cast<unsigned long>(process.processId),
            process.imagePath.empty() ? L"a file that could not be read" : process.imagePath.c_str());
    }
    return found;
  }
  void TerminateRunningProcess(const RunningProcess& process) override {
    PhaseTime time(L"termination " + ExecutableNameOf(process.imagePath));
    const bool ended = TerminateIdentifiedProcess(process.processId, process.startTime);
    Trace(L"program: %ls (process %lu): %ls", process.imagePath.c_str(),
          static_cast<unsigned long>(process.processId), ended ? L"terminated" : L"not terminated");
  }
  void TerminateListedProcess(int32_t index, const std::wstring& name) override {
    PhaseTime time(L"termination " + name);
    const bool ended = TerminateAffectedProcess(index);
    Trace(L"program: %ls (listed user %d): %ls", name.c_str(), static_cast<int>(index),
          ended ? L"terminated" : L"not terminated");
  }
  void StopServiceAndWait(const wchar_t* service) override {
    PhaseTime time(std::wstring(L"service stop ") + service);
    ::StopServiceAndWait(service);
  }
  int32_t ListLibraryUsers(const std::wstring& libraryPath) override { return ::ListLibraryUsers(libraryPath); }
  ListedProcess AffectedProcess(int32_t index) override {
    DWORD error = ERROR_SUCCESS;
    ListedProcess listed = ReadAffectedProcess(index, error);
    // Nothing is done to a process whose path is unknown; nobody is asked
    // about it either: a box would hold the worker while the services are down.
    if (error != ERROR_SUCCESS) {
      Trace(L"program: listed user %d: image path not readable (error %lu)", static_cast<int>(index), error);
    }
    return listed;
  }
  void EndLibraryQuery() override { ::EndLibraryQuery(); }
};

}  // namespace

void CloseRunningSoftware() {
  const bool found = GetProgramFilesFolder();
  MachineShutdown machine;
  RunShutdownSteps(machine, BuildShutdownFolders(found, ProgramFilesFolder()));
}
