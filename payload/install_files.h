// The installed files replaced with the payload, as one unit: all of them or none.
#pragma once
#include <windows.h>

#include "payload/portable/patch_file_entry.h"

// Replaces each row's installed file with the checked expansion of its
// payload, or removes it for a row without payload, through the file steps
// (payload/file_steps.h); the first failure puts every file back as it was
// and is returned. The update itself runs these steps inside its transaction,
// together with the registry; this is the files alone.
HRESULT InstallFiles(const InstallList& list, HINSTANCE module);
