// Removal of the work folder after a successful update, and of folder trees.
// Every failure is ignored: what cannot be removed stays.
#pragma once
#include <string>

// Waits 5 s for the registry editor to let go of the script, then deletes
// "Reg.reg" in the work folder and the folder itself (only when it is empty).
void RemoveWorkFolder();

// Deletes everything below `folder` (no trailing separator), read-only
// entries included, but not the folder itself. Folder links are removed as
// links and never walked into. False when the folder cannot be listed.
bool DeleteFolderContents(const std::wstring& folder);

// DeleteFolderContents, then the folder itself; true when the folder is gone.
bool RemoveFolderTree(const std::wstring& folder);
