// Destination folders of the payload rows, by folder code, and the long-path
// form of a destination.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct FolderEntry {
  int32_t on32 = 0;  // used as a boolean
  int32_t on64 = 0;  // used as a boolean
  int32_t folderCode = 0;
  std::wstring subFolder;  // empty or beginning with a backslash; the full folder once prefixed
};

constexpr int32_t kFolderCount = 38;
// Codes below this lie under the application folder, the others under the
// shared library folder.
constexpr int32_t kFirstSharedFolderCode = 20;

// The two base folders are these tails after the 32-bit Program Files folder
// and the 32-bit Common Files folder.
inline constexpr const wchar_t* kApplicationFolderTail = L"\\Orvane\\Mirevo";
inline constexpr const wchar_t* kSharedLibraryFolderTail = L"\\Orvane Shared\\QVLLib";

// The 38 rows, codes 0..37 in order, as compiled in (sub-folders not prefixed).
const std::vector<FolderEntry>& FolderTable();

// A copy of the table with rows 0..19 prefixed by the application folder and
// rows 20..37 by the shared library folder (each given without a trailing
// backslash). Done once per run.
std::vector<FolderEntry> PrefixedFolderTable(const std::wstring& applicationFolder,
                                             const std::wstring& sharedLibraryFolder);

// Unchanged when shorter than 260 characters or already beginning with "\\?\";
// otherwise "\\?\" + path, or for a network path ("\\server\share...")
// "\\?\UNC" + the path without its first backslash.
// The part after the last backslash or slash (all of it when there is none).
std::wstring LastPathComponent(const std::wstring& path);

std::wstring ToLongPath(const std::wstring& path);
