// Starting a program through the signed-in user's desktop shell: the shell
// process itself starts it, so it runs as that user, never elevated.
#pragma once
#include <windows.h>

#include <string>

// Has the desktop shell start `path` hidden, without parameters, in its own
// folder; does not wait for it. S_OK or the failure (S_FALSE where there is
// no desktop shell window).
HRESULT StartThroughDesktopShell(const std::wstring& path);
