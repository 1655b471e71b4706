#include "records/removal.h"

void RemoveWorkFolder() {
  // Not built yet: nothing is extracted, so there is no work folder to remove.
}
