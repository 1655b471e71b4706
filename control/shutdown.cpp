#include "control/shutdown.h"

void CloseRunningSoftware() {
  // Not built yet: no program or service is closed before the files are replaced.
}
