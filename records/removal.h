// Removal of the work folder after a successful update, and of folder trees.
// Every failure is ignored: what cannot be removed stays.
#pragma once
#include <string>

// Waits for the registry editor to end (at most kRegistryImportWaitMs), then
// deletes the registry script held in the work folder and the held folder
// itself (only when it is empty).
void RemoveWorkFolder();

// Deletes everything below `folder`, read-only entries included, but not the
// folder itself. Links are removed as links and never walked into; every
// entry is opened through the handle of the folder listed, so that a folder
// swapped for a link after its listing cannot redirect the walk. False when
// the folder cannot be listed or is itself a link.
bool DeleteFolderContents(const std::wstring& folder);

// DeleteFolderContents, then the folder itself; a folder that is itself a
// link is removed as a link (Wine cannot, and leaves it) and nothing behind
// it is touched. True when the folder is gone.
bool RemoveFolderTree(const std::wstring& folder);

// Deletes the file `relative` (components separated by backslashes) below
// `folder`, opening each component through the handle of the one above it;
// a link anywhere below `folder`, the file included, leaves everything as it
// is. True when the file was deleted.
bool DeleteFileBelow(const std::wstring& folder, const std::wstring& relative);
