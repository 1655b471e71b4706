// The run of the updater from start-up checks to the closing message.
#pragma once
#include <windows.h>

// Returns the process exit code; two refusals end the process directly instead.
int RunUpdater(HINSTANCE instance);
