#include "records/area_code.h"

int GetAreaCode() {
  return 7;  // Not built yet: every PC counts as outside the Chinese release.
}
