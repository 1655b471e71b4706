// Replacement of the installed files with the payload.
#pragma once
#include <windows.h>

#include "payload/patch_file_entry.h"

HRESULT InstallFiles(const InstallList& list, HINSTANCE module);

// Copies `source` over the installed file `destination`, carrying the installed
// file's attributes onto the new one. A destination in use is moved aside to
// its aside name (deleted at the next restart) and replaced under its own name.
HRESULT OverwriteInstalledFile(const wchar_t* source, const wchar_t* destination);

// Deletes the installed file; one in use is moved aside and deleted at the next restart.
HRESULT RemoveInstalledFile(const wchar_t* destination);
