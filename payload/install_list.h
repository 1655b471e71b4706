// Selection of the payload rows that apply to this PC.
#pragma once
#include "payload/portable/patch_file_entry.h"

// Fills `list` and returns the number of rows selected, or -1 when nothing applies.
int BuildInstallList(InstallList& list);
