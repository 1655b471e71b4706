#include "control/relaunch.h"

bool RelaunchTvRecorder() {
  return false;  // Not built yet: the application is not started again.
}
