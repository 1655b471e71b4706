#include "control/portable/process_routing.h"

std::wstring ExecutableNameOf(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

namespace {

ProcessRoute Route(ProcessRoute::Action action) {
  ProcessRoute route;
  route.action = action;
  return route;
}

const ServiceExecutable* OwnService(const std::wstring& imagePath, const ShutdownFolders& folders) {
  if (folders.sharedComponents.empty()) return nullptr;
  for (const ServiceExecutable& row : kServiceExecutables) {
    if (SameFilePath(imagePath, folders.sharedComponents + row.executable)) return &row;
  }
  return nullptr;
}

const KnownProgram* OwnProgram(const std::wstring& imagePath, const ShutdownFolders& folders) {
  for (const KnownProgram& row : kKnownPrograms) {
    const std::wstring& folder = folders.Of(row.folder);
    if (!folder.empty() && SameFilePath(imagePath, folder + row.executable)) return &row;
  }
  return nullptr;
}

}  // namespace

ProcessRoute RouteAffectedProcess(const ListedProcess& process, const ShutdownFolders& folders, LibraryPass pass) {
  using Action = ProcessRoute::Action;
  if (process.kind == ListedKind::kExplorer || process.kind == ListedKind::kCritical) return Route(Action::kLeave);
  if (process.imagePath.empty()) return Route(Action::kLeave);
  if (process.kind == ListedKind::kService) {
    const ServiceExecutable* service = OwnService(process.imagePath, folders);
    if (pass != LibraryPass::kFirst || service == nullptr) return Route(Action::kLeave);
    ProcessRoute route = Route(Action::kStopService);
    route.service = service->service;
    return route;
  }
  if (pass == LibraryPass::kFirst) {
    if (const KnownProgram* program = OwnProgram(process.imagePath, folders)) {
      ProcessRoute route = Route(Action::kAskToQuit);
      route.program = program;
      return route;
    }
  }
  return Route(Action::kTerminateListed);
}
