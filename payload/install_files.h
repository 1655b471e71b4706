// Replacement of the installed files with the payload.
#pragma once
#include <windows.h>

#include "payload/patch_file_entry.h"

HRESULT InstallFiles(const InstallList& list, HINSTANCE module);
