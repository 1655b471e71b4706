// Removes what the clean-up removes, the way it does, so that scenarios can
// run it on trees holding folder links, which Wine's own link calls cannot
// make but the Linux side can:
//   removal_probe FOLDER             the folder tree (RemoveFolderTree)
//   removal_probe FOLDER RELATIVE    one file below the folder (DeleteFileBelow)
// Exit code: 0 the folder or file is gone, 1 it stays, 2 wrong arguments.
#include <windows.h>

#include "records/removal.h"

int wmain(int argc, wchar_t** argv) {
  if (argc == 2) return RemoveFolderTree(argv[1]) ? 0 : 1;
  if (argc == 3) return DeleteFileBelow(argv[1], argv[2]) ? 0 : 1;
  return 2;
}
