// The work folder: the user's temporary folder + the program's file name +
// ".tmp\". The temporary folder is the user's to change while the updater runs
// elevated, so the work folder is used only when no one else can change it,
// and is kept open (without delete sharing) so that it cannot be renamed or
// swapped for a link while it is in use.
#pragma once
#include <windows.h>

#include <string>

// The program's own file name (the work folder is named after it), or
// "%x.%08x" from the process id and the tick count when it cannot be read.
std::wstring WorkFolderName();

// Makes the work folder `name` + ".tmp\" in the user's temporary folder and
// holds it open for the run; `folder` receives its path, ending in a
// backslash. An existing folder is reused only when it is not a link, is
// owned by the administrators or the system and lets no one else write to it;
// anything else of that name is moved aside and the folder made afresh,
// accessible to the system and the administrators alone. Returns the HRESULT
// of the failure, with `folder` empty, when no such folder can be had.
HRESULT MakeWorkFolder(const std::wstring& name, std::wstring& folder);

// Removes the work folder held by MakeWorkFolder when it is empty and lets go
// of it either way. True when it was removed.
bool RemoveWorkFolderIfEmpty();
