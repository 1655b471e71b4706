#include "records/media_database.h"

bool UpdateMediaDatabase() {
  return false;  // Not built yet: the database is not touched.
}
