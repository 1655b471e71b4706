// plain_library.dll: a loadable library without a version resource, put at an
// installed library's path so that another process can keep it loaded while
// the updater replaces it.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
