// The order in which the shutdown closes the programs and services that hold
// the product's files: known programs, the services, then two passes over the
// users of the watched libraries. The system calls are behind an interface.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "control/portable/known_programs.h"
#include "control/portable/process_routing.h"
#include "control/portable/product_folders.h"

// A running process as a snapshot found it: its id with its start time (an id
// may be reused once the process has ended) and its image path.
struct RunningProcess {
  uint32_t processId = 0;
  uint64_t startTime = 0;  // FILETIME units
  std::wstring imagePath;  // full Win32 path; empty when it could not be read
};

// What the shutdown does to the machine; every result is ignored.
class ShutdownSystem {
 public:
  virtual ~ShutdownSystem() = default;
  virtual void AskProgramToQuit(const std::wstring& path, const wchar_t* quitSwitch) = 0;
  // The running processes whose executable name is `executableName`.
  virtual std::vector<RunningProcess> ProcessesNamed(const std::wstring& executableName) = 0;
  // Terminates that one process, only while its id still names it.
  virtual void TerminateRunningProcess(const RunningProcess& process) = 0;
  // Terminates the process at `index` of the current library query's list,
  // and only that one (`executableName` says which it is).
  virtual void TerminateListedProcess(int32_t index, const std::wstring& executableName) = 0;
  virtual void StopServiceAndWait(const wchar_t* serviceName) = 0;
  // Asks which processes use one library; the number listed, 0 on any failure.
  virtual int32_t ListLibraryUsers(const std::wstring& libraryPath) = 0;
  // The kind and image path of a listed process.
  virtual ListedProcess AffectedProcess(int32_t index) = 0;
  // Ends the query of the library and forgets its list.
  virtual void EndLibraryQuery() = 0;
};

// Steps 2 to 7 of the shutdown, after the folders were built.
void RunShutdownSteps(ShutdownSystem& system, const ShutdownFolders& folders);
