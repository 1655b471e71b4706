// watched_library.dll: a loadable stand-in for the shared libraries whose
// users the update closes. The payload generator's installed files are images
// that cannot be loaded (their code is filler), so a simulated PC puts this
// library at a watched library's path instead, with the fixed version of the
// file it replaces written into its version resource (see watched_library.rc).
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, void*) { return TRUE; }
