// Removes what the clean-up removes, the way it does, so that scenarios can
// run it on trees holding folder links, which Wine's own link calls cannot
// make but the Linux side can:
//   removal_probe tree BASE RELATIVE   the folder tree RELATIVE below BASE (RemoveFolderTree)
//   removal_probe file BASE RELATIVE   one file below BASE (DeleteFileBelow)
// Exit code: 0 the folder or file is gone, 1 it stays, 2 wrong arguments.
#include <windows.h>

#include <cwchar>

#include "records/removal.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  if (std::wcscmp(argv[1], L"tree") == 0) return RemoveFolderTree(argv[2], argv[3]) ? 0 : 1;
  if (std::wcscmp(argv[1], L"file") == 0) return DeleteFileBelow(argv[2], argv[3]) ? 0 : 1;
  return 2;
}
