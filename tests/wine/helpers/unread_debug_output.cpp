// unread_debug_output.exe: poses as a debug-output viewer that never reads.
// It makes the section and the two events that a viewer makes (any program of
// the session may), but never signals that its buffer is ready: every
// OutputDebugString of the session then waits 10 s for it.
//
//   unread_debug_output.exe READY_FILE
//
// When the objects exist, READY_FILE is written ("ready" or the first
// failure); then the program waits until it is terminated (at most ten
// minutes).
#include <windows.h>

#include <string>

#include "helper_common.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  std::string report = "ready";
  // Deliberately never closed: the objects live as long as the process.
  if (CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER") == nullptr) {
    report = "section failed " + helper::Hex32(GetLastError());
  } else if (CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY") == nullptr) {
    report = "buffer event failed " + helper::Hex32(GetLastError());
  } else if (CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY") == nullptr) {
    report = "data event failed " + helper::Hex32(GetLastError());
  }
  return helper::ReportAndHold(argv[1], report);
}
