#include "payload/install_list.h"

int BuildInstallList(InstallList& list) {
  list.clear();
  // The payload table is not part of this build yet: nothing is selected, so
  // the run ends honestly with "There is no need to update the program."
  return -1;
}
