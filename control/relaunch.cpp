#include "control/relaunch.h"

#include <windows.h>
#include <shlwapi.h>

#include "control/process_tools.h"

std::wstring TvRecorderPath() { return ProgramFilesFolder() + L"\\Orvane\\Tunerbay\\Kestrav.exe"; }

bool RelaunchTvRecorder() {
  const std::wstring path = TvRecorderPath();
  if (!PathFileExistsW(path.c_str())) return false;
  return StartProgramHidden(path.c_str(), nullptr);
}
