// The order in which the shutdown closes the programs and services that hold
// the product's files: known programs, the services, then two passes over the
// users of the watched libraries. The system calls are behind an interface.
#pragma once
#include <cstdint>
#include <string>

#include "control/known_programs.h"

// The Program Files folder and the four folders built on it (each ending in a
// backslash); all empty when the Program Files folder was not found.
struct ShutdownFolders {
  std::wstring programFiles;
  std::wstring sharedComponents;
  std::wstring product;
  std::wstring mediaSharing;
  std::wstring homeNetwork;

  const std::wstring& Of(ProgramFolder folder) const;
};

ShutdownFolders BuildShutdownFolders(bool found, const std::wstring& programFiles);

// What the shutdown does to the machine; every result is ignored.
class ShutdownSystem {
 public:
  virtual ~ShutdownSystem() = default;
  virtual void AskProgramToQuit(const std::wstring& path, const wchar_t* quitSwitch) = 0;
  virtual void TerminateProcessesByName(const std::wstring& executableName) = 0;
  // Terminates the process at `index` of the current library query's list,
  // and only that one (`executableName` says which it is).
  virtual void TerminateListedProcess(int32_t index, const std::wstring& executableName) = 0;
  virtual void StopServiceAndWait(const wchar_t* serviceName) = 0;
  // Asks which processes use one library; the number listed, 0 on any failure.
  virtual int32_t ListLibraryUsers(const std::wstring& libraryPath) = 0;
  // The image path of a listed process; empty when it cannot be read.
  virtual std::wstring AffectedProcessImage(int32_t index) = 0;
  // Ends the query of the library and forgets its list.
  virtual void EndLibraryQuery() = 0;
};

// Steps 2 to 7 of the shutdown, after the folders were built.
void RunShutdownSteps(ShutdownSystem& system, const ShutdownFolders& folders);
