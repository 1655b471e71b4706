#include "control/process_routing.h"

std::wstring ExecutableNameOf(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

ProcessRoute RouteAffectedProcess(const std::wstring& imagePath) {
  ProcessRoute route;
  for (const ServiceExecutable& row : kServiceExecutables) {
    if (imagePath.find(row.executable) != std::wstring::npos) {
      route.action = ProcessRoute::Action::kStopService;
      route.service = row.service;
      return route;
    }
  }
  for (const KnownProgram& row : kKnownPrograms) {
    if (imagePath.find(row.executable) != std::wstring::npos) {
      route.action = ProcessRoute::Action::kAskToQuit;
      route.program = &row;
      return route;
    }
  }
  route.executableName = ExecutableNameOf(imagePath);
  return route;
}
