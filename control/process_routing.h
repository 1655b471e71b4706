// How the shutdown closes a process that uses a watched library, chosen by the
// process's image path.
#pragma once
#include <string>

#include "control/known_programs.h"

// The text after the last backslash; the whole text when there is none.
std::wstring ExecutableNameOf(const std::wstring& path);

struct ProcessRoute {
  enum class Action { kStopService, kAskToQuit, kTerminateByName };
  Action action = Action::kTerminateByName;
  const wchar_t* service = nullptr;        // kStopService
  const KnownProgram* program = nullptr;   // kAskToQuit
  std::wstring executableName;             // kTerminateByName
};

// Service executables first, then known programs, each in table order and as a
// case-sensitive substring of the path; anything else is terminated by the
// name after the path's last backslash.
ProcessRoute RouteAffectedProcess(const std::wstring& imagePath);
