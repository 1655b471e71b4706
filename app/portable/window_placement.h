// Where a window is placed to sit in the middle of a monitor.
#pragma once

struct WindowOrigin {
  int x;
  int y;
};

// (monitor / 2) - (window / 2) on each axis, each halving truncated towards zero.
WindowOrigin CentredOrigin(int monitorWidth, int monitorHeight, int windowWidth, int windowHeight);
