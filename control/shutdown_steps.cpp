#include "control/shutdown_steps.h"

#include "control/process_routing.h"
#include "payload/patch_file_table.h"

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

// A user that matched nothing ends alone: other processes of the same name
// (a shell or a thumbnail host that never loaded the library, another user's)
// have nothing to do with the update. One whose image could not be read is
// left, as its name would have matched no process.
void TerminateListed(ShutdownSystem& system, int32_t index, const std::wstring& executableName) {
  if (!executableName.empty()) system.TerminateListedProcess(index, executableName);
}

void CloseByRoute(ShutdownSystem& system, const ShutdownFolders& folders, int32_t index,
                  const std::wstring& imagePath) {
  const ProcessRoute route = RouteAffectedProcess(imagePath);
  switch (route.action) {
    case ProcessRoute::Action::kStopService:
      system.StopServiceAndWait(route.service);
      break;
    case ProcessRoute::Action::kAskToQuit:
      system.AskProgramToQuit(folders.programFiles + route.program->pathSuffix, route.program->quitSwitch);
      break;
    case ProcessRoute::Action::kTerminateByName:
      TerminateListed(system, index, route.executableName);
      break;
  }
}

// One Restart Manager pass over the watched libraries. The first pass closes
// each process by the means that suits it; the last one terminates whatever
// is still listed.
void LibraryPass(ShutdownSystem& system, const ShutdownFolders& folders, bool terminateAll) {
  for (const wchar_t* library : kWatchedLibraries) {
    LibraryQuery query(system, folders.sharedComponents + library);
    for (int32_t index = 0; index < query.Count(); ++index) {
      const std::wstring imagePath = system.AffectedProcessImage(index);
      if (terminateAll) {
        TerminateListed(system, index, ExecutableNameOf(imagePath));
      } else {
        CloseByRoute(system, folders, index, imagePath);
      }
    }
  }
}

}  // namespace

const std::wstring& ShutdownFolders::Of(ProgramFolder folder) const {
  switch (folder) {
    case ProgramFolder::kProduct:
      return product;
    case ProgramFolder::kMediaSharing:
      return mediaSharing;
    case ProgramFolder::kHomeNetwork:
      return homeNetwork;
    case ProgramFolder::kSharedComponents:
      break;
  }
  return sharedComponents;
}

ShutdownFolders BuildShutdownFolders(bool found, const std::wstring& programFiles) {
  ShutdownFolders folders;
  if (!found) return folders;
  folders.programFiles = programFiles;
  folders.sharedComponents = programFiles + L"\\Common Files\\Orvane Shared\\QVLLib\\";
  folders.product = programFiles + L"\\Orvane\\Mirevo\\";
  folders.mediaSharing = programFiles + L"\\Orvane\\Castwell\\";
  folders.homeNetwork = programFiles + L"\\Orvane\\Homereel\\";
  return folders;
}

void RunShutdownSteps(ShutdownSystem& system, const ShutdownFolders& folders) {
  for (size_t row = 0; row < kFirstUpperSwitchProgram; ++row) {
    const KnownProgram& program = kKnownPrograms[row];
    system.AskProgramToQuit(folders.Of(program.folder) + program.executable, program.quitSwitch);
  }
  system.TerminateProcessesByName(kSocialNetworkHelper);
  for (size_t row = kFirstUpperSwitchProgram; row < kKnownPrograms.size(); ++row) {
    const KnownProgram& program = kKnownPrograms[row];
    system.AskProgramToQuit(folders.Of(program.folder) + program.executable, program.quitSwitch);
  }
  for (const wchar_t* service : kServiceStopOrder) system.StopServiceAndWait(service);
  LibraryPass(system, folders, false);
  LibraryPass(system, folders, true);
}
