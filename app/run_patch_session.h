// One update session behind the progress window.
#pragma once
#include <windows.h>

#include "payload/portable/patch_file_entry.h"

// Runs the update on a worker thread while the progress window shows; returns
// the session's result. A null title runs without showing the window.
HRESULT RunPatchSession(const InstallList& list, const wchar_t* title, HINSTANCE module);
