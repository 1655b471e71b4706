#include "control/portable/shutdown_steps.h"

#include "control/portable/process_routing.h"
#include "payload/portable/patch_file_table.h"

namespace {

// Ends the library query however the pass over its list leaves.
class LibraryQuery {
 public:
  LibraryQuery(ShutdownSystem& system, const std::wstring& libraryPath)
      : system_(system), count_(system.ListLibraryUsers(libraryPath)) {}
  ~LibraryQuery() { system_.EndLibraryQuery(); }
  LibraryQuery(const LibraryQuery&) = delete;
  LibraryQuery& operator=(const LibraryQuery&) = delete;
  int32_t Count() const { return count_; }

 private:
  ShutdownSystem& system_;
  int32_t count_;
};

void CloseByRoute(ShutdownSystem& system, const ShutdownFolders& folders, int32_t index,
                  const ListedProcess& process, LibraryPass pass) {
  const ProcessRoute route = RouteAffectedProcess(process, folders, pass);
  switch (route.action) {
    case ProcessRoute::Action::kLeave:
      break;
    case ProcessRoute::Action::kStopService:
      system.StopServiceAndWait(route.service);
      break;
    case ProcessRoute::Action::kAskToQuit:
      system.AskProgramToQuit(folders.programFiles + route.program->pathSuffix, route.program->quitSwitch);
      break;
    case ProcessRoute::Action::kTerminateListed:
      // This process alone: others of its name (another user's, one that
      // never loaded the library) have nothing to do with the update.
      system.TerminateListedProcess(index, ExecutableNameOf(process.imagePath));
      break;
  }
}

// One Restart Manager pass over the watched libraries. The first pass closes
// each process by the means that suits it; the last one terminates what is
// still listed and may be terminated.
void LibraryPassOver(ShutdownSystem& system, const ShutdownFolders& folders, LibraryPass pass) {
  for (const wchar_t* library : kWatchedLibraries) {
    LibraryQuery query(system, folders.sharedComponents + library);
    for (int32_t index = 0; index < query.Count(); ++index) {
      CloseByRoute(system, folders, index, system.AffectedProcess(index), pass);
    }
  }
}

// The social-network helper is ended outright, but only the product's own:
// a program of that name elsewhere is not the product's.
void TerminateOwnHelper(ShutdownSystem& system, const ShutdownFolders& folders) {
  for (const RunningProcess& process : system.ProcessesNamed(kSocialNetworkHelper)) {
    if (IsProductImage(process.imagePath, folders)) system.TerminateRunningProcess(process);
  }
}

}  // namespace

void RunShutdownSteps(ShutdownSystem& system, const ShutdownFolders& folders) {
  for (size_t row = 0; row < kFirstUpperSwitchProgram; ++row) {
    const KnownProgram& program = kKnownPrograms[row];
    system.AskProgramToQuit(folders.Of(program.folder) + program.executable, program.quitSwitch);
  }
  TerminateOwnHelper(system, folders);
  for (size_t row = kFirstUpperSwitchProgram; row < kKnownPrograms.size(); ++row) {
    const KnownProgram& program = kKnownPrograms[row];
    system.AskProgramToQuit(folders.Of(program.folder) + program.executable, program.quitSwitch);
  }
  for (const wchar_t* service : kServiceStopOrder) system.StopServiceAndWait(service);
  LibraryPassOver(system, folders, LibraryPass::kFirst);
  LibraryPassOver(system, folders, LibraryPass::kLast);
}
