#include "app/portable/window_placement.h"

WindowOrigin CentredOrigin(int monitorWidth, int monitorHeight, int windowWidth, int windowHeight) {
  return {monitorWidth / 2 - windowWidth / 2, monitorHeight / 2 - windowHeight / 2};
}
