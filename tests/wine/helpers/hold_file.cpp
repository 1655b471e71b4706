// hold_file.exe: holds files the way other programs hold them, so that the
// updater meets files in use by real processes.
//
//   hold_file.exe READY_FILE [load PATH | open PATH | folder PATH | run]...
//     load PATH   LoadLibraryW: a DLL mapped into this process
//     open PATH   CreateFileW sharing reading only: the file can be
//                 neither written over nor renamed
//     folder PATH a folder opened sharing reading and writing but not
//                 deletion: it can be neither renamed nor removed
//     run         nothing more: started from a copy at an installed path,
//                 the program's own image is the file in use
//     replacement PATH
//                 waits until another file takes the name PATH (an update
//                 put its new file there) and opens that one as `open`
//                 does, so that it can be neither renamed nor deleted
//
// When everything is held, READY_FILE is written ("ready" or the first
// failure); then the program waits until it is terminated (at most ten
// minutes, so that a forgotten holder cannot outlive a test run by much).
#include <windows.h>

#include <string>

#include "helper_common.h"

namespace {

struct Watched {
  std::wstring path;
  ULONGLONG index = 0;  // the file under the name when the watch began
};

bool IndexOf(const std::wstring& path, ULONGLONG& index) {
  HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information{};
  const bool read = GetFileInformationByHandle(file, &information) != FALSE;
  CloseHandle(file);
  index = (static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  return read;
}

// Polls the name often: an update's roll-back may follow its rename soon.
DWORD WINAPI WatchReplacement(void* argument) {
  const Watched watched = *static_cast<Watched*>(argument);
  for (;;) {
    ULONGLONG index = 0;
    if (IndexOf(watched.path, index) && index != watched.index) {
      // Deliberately never closed: the handle lives as long as the process.
      if (CreateFileW(watched.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr) != INVALID_HANDLE_VALUE) {
        return 0;
      }
    }
    Sleep(1);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  std::string report = "ready";
  Watched watched;
  for (int i = 2; i < argc && report == "ready"; ++i) {
    const std::wstring verb = argv[i];
    if (verb == L"run") continue;
    if (i + 1 >= argc) {
      report = "missing path";
      break;
    }
    const wchar_t* path = argv[++i];
    if (verb == L"load") {
      if (LoadLibraryW(path) == nullptr) report = "load failed " + helper::Hex32(GetLastError());
    } else if (verb == L"open") {
      // Deliberately never closed: the handle lives as long as the process.
      HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) report = "open failed " + helper::Hex32(GetLastError());
    } else if (verb == L"folder") {
      HANDLE folder = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (folder == INVALID_HANDLE_VALUE) report = "folder open failed " + helper::Hex32(GetLastError());
    } else if (verb == L"replacement") {
      watched.path = path;
      if (!IndexOf(path, watched.index)) {
        report = "no file to watch " + helper::Hex32(GetLastError());
      } else if (CreateThread(nullptr, 0, WatchReplacement, &watched, 0, nullptr) == nullptr) {
        report = "no watch " + helper::Hex32(GetLastError());
      }
    } else {
      report = "unknown verb";
    }
  }
  return helper::ReportAndHold(argv[1], report);
}
