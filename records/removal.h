// Removal of the work folder after a successful update, and of folder trees.
// Every failure is ignored: what cannot be removed stays.
#pragma once
#include <string>

#include "base/portable/journal_record.h"

// Waits for the registry editor to end (at most kRegistryImportWaitMs), then
// deletes the registry script held in the work folder and the held folder
// itself (only when it is empty), each tried again while its deletion fails.
void RemoveWorkFolder();

// The functions below work on `relative` (components separated by
// backslashes) below `base`, a folder that the system resolves and no user
// can change as a whole (a special folder). Each component is opened through
// the handle of the one above it and never looked up by path again: a link
// anywhere on the way leaves everything as it is, so that a folder the user
// made a link, or swaps for one, cannot lead the removal elsewhere.

// Deletes everything below the folder, read-only entries included, but not
// the folder itself. Links inside are removed as links and never walked
// into; every entry is opened through the handle of the folder listed, so
// that a folder swapped for a link after its listing cannot redirect the
// walk. False when the folder cannot be reached or listed, or is a link.
bool DeleteFolderContents(const std::wstring& base, const std::wstring& relative);

// DeleteFolderContents, then the folder itself; a folder that is itself a
// link is removed as a link (Wine cannot, and leaves it) and nothing behind
// it is touched. True when the folder is gone from the one that held it.
bool RemoveFolderTree(const std::wstring& base, const std::wstring& relative);

// Deletes the file; a link on the way, the file included, leaves everything
// as it is. True when the file was deleted.
bool DeleteFileBelow(const std::wstring& base, const std::wstring& relative);

// Removes an earlier run's work folder at `path`, found again by what its
// journal recorded, only when it is the folder that `identity` describes
// (same volume and index) and no link: its registry script goes, then the
// folder when that left it empty. Whatever else is in it stays, as a work
// folder that this run left would keep it. True when no such folder is left
// there (what else holds the name stays).
bool RemoveEarlierWorkFolder(const std::wstring& path, const FileFacts& identity);
