// Removes one folder tree the way the clean-up does (RemoveFolderTree), so
// that scenarios can run it on trees holding folder links, which Wine's own
// link calls cannot make but the Linux side can. Exit code: 0 the folder is
// gone, 1 it stays, 2 no folder given.
#include <windows.h>

#include "records/removal.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  return RemoveFolderTree(argv[1]) ? 0 : 1;
}
