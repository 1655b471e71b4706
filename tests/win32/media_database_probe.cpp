// Runs the media-database step on its own, as the finish phase calls it, and
// prints its result ("true" or "false"), so that scenarios can check what the
// library stand-in received without a whole update.
#include <cstdio>

#include "records/media_database.h"

int main() {
  std::puts(UpdateMediaDatabase() ? "true" : "false");
  return 0;
}
