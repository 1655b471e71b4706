// The notice about retired functions and the removal of what they left behind.
// Every step is silent: what cannot be read, deleted or reset stays as it is.
#pragma once

// Before the update: one message box naming the retired link functions (none
// on the Chinese release) and, when it is in use, the internet content function.
void ShowRetiredFeatureNotice();

// "WEBMEDIA" of the machine's Travio key is a REG_DWORD holding 1.
bool IsWebMediaEnabled();

// After the update, outside the Chinese release: the per-user file, the
// per-user value and the shared picture folder, each independent of the
// others. True when none of them is left (so that a failure can be tried again).
bool RemoveRetiredFeatureData();
bool DeleteRetiredUserFile();
bool ClearRetiredUserValue();  // true when the value is 0 or there is no key
void RemoveSocialinkPictureFolder();

// After the update, in every area: the "WEBMEDIA" value and the eight help
// files; each true when none is left.
bool DeleteWebMediaValue();
bool DeleteRetiredHelpFiles();
