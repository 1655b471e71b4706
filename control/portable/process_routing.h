// How the shutdown closes a process that uses a watched library, chosen by
// the kind of process the Restart Manager reports and by its image path.
#pragma once
#include <cstdint>
#include <string>

#include "control/portable/known_programs.h"
#include "control/portable/product_folders.h"

// The text after the last backslash; the whole text when there is none.
std::wstring ExecutableNameOf(const std::wstring& path);

// The Restart Manager's application types, by their values.
enum class ListedKind : uint32_t {
  kUnknown = 0,
  kMainWindow = 1,
  kOtherWindow = 2,
  kService = 3,
  kExplorer = 4,
  kConsole = 5,
  kCritical = 1000,
};

// What the shutdown knows of a listed process.
struct ListedProcess {
  std::wstring imagePath;  // full Win32 path; empty when it could not be read
  ListedKind kind = ListedKind::kUnknown;
};

struct ProcessRoute {
  enum class Action { kLeave, kStopService, kAskToQuit, kTerminateListed };
  Action action = Action::kLeave;
  const wchar_t* service = nullptr;       // kStopService
  const KnownProgram* program = nullptr;  // kAskToQuit
};

enum class LibraryPass { kFirst, kLast };

// The shell, critical processes and services are never terminated: the
// product's own services are stopped in the first pass, any other service is
// left. A process whose image cannot be read is left. The product's known
// programs, by their full path, are asked to quit in the first pass. Every
// other user of a library is terminated, the product's own program that
// ignored its switch in the last pass.
ProcessRoute RouteAffectedProcess(const ListedProcess& process, const ShutdownFolders& folders, LibraryPass pass);
