// Process entry of updater.exe.
#include <windows.h>

#include "app/entry.h"
#include "base/system_library.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Before anything can load a library: nothing from the program's folder.
  RestrictLibrarySearch();
  return RunUpdater(instance);
}
