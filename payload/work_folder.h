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
// accessible to the system and the administrators alone. When the name cannot
// be had (what holds it cannot be moved aside), a fresh folder
// `name` + ".<process id>-<random hex>.tmp\" is made in its place. The same
// name asked again gives the folder held. Returns the HRESULT of the failure
// for the name, with `folder` empty, when neither can be made.
HRESULT MakeWorkFolder(const std::wstring& name, std::wstring& folder);

// The handle of the folder held by MakeWorkFolder, or nullptr when none is
// held. What is made in the folder is made through it, never by path.
HANDLE HeldWorkFolder();

// Removes the work folder held by MakeWorkFolder when it is empty and lets go
// of it, also when it holds something else. True when it was removed; false
// with the folder still held when its removal failed otherwise, so that it
// can be tried again.
bool RemoveWorkFolderIfEmpty();
