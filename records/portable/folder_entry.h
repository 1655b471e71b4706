// What the folder-tree removal does with one entry of a folder listing.
#pragma once
#include <cstdint>
#include <string_view>

enum class FolderEntryAction {
  kSkip,          // "." and ".."
  kDeleteFile,    // a file, or a link to a file (deleting it removes the link only)
  kRemoveTree,    // an ordinary folder: emptied, then removed
  kRemoveLink,    // a folder link (junction, symbolic link): removed itself, never walked into
};

// From the entry's name and the attributes the listing gives for it.
FolderEntryAction ClassifyFolderEntry(std::wstring_view name, uint32_t attributes);
