#include "control/shutdown.h"

#include <string>

#include "control/affected_processes.h"
#include "control/process_routing.h"
#include "control/process_tools.h"
#include "control/quit_request.h"
#include "control/service_control.h"
#include "control/shutdown_steps.h"
#include "app/phase_time.h"
#include "app/trace.h"

namespace {

// The shutdown's steps carried out on this machine; every result is ignored.
class MachineShutdown : public ShutdownSystem {
 public:
  void AskProgramToQuit(const std::wstring& path, const wchar_t* quitSwitch) override {
    PhaseTime time(L"quit request " + ExecutableNameOf(path));
    const bool asked = ::AskProgramToQuit(path.c_str(), quitSwitch);
    Trace(L"program: %ls %ls: %ls", path.c_str(), quitSwitch, asked ? L"asked to quit" : L"not running or not found");
  }
  void TerminateProcessesByName(const std::wstring& name) override {
    PhaseTime time(L"termination " + name);
    const bool ended = ::TerminateProcessesByName(name.c_str());
    Trace(L"program: %ls: %ls", name.c_str(), ended ? L"none left running" : L"could not be terminated");
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
  std::wstring AffectedProcessImage(int32_t index) override {
    wchar_t buffer[kImagePathChars];
    GetAffectedProcessImage(index, buffer);
    return buffer;
  }
  void EndLibraryQuery() override { ::EndLibraryQuery(); }
};

}  // namespace

void CloseRunningSoftware() {
  const bool found = GetProgramFilesFolder();
  MachineShutdown machine;
  RunShutdownSteps(machine, BuildShutdownFolders(found, ProgramFilesFolder()));
}
