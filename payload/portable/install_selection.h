// Which payload rows apply to this PC: the rule, apart from how the installed
// files are looked at (that is the caller's probe).
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "payload/portable/folder_table.h"
#include "payload/portable/patch_file_entry.h"

// What the selection needs to know about an installed file.
class InstalledFileProbe {
 public:
  virtual ~InstalledFileProbe() = default;
  // The path names an existing file (not a folder).
  virtual bool IsFile(const std::wstring& path) const = 0;
  // The file's version; none when it has no version resource.
  virtual std::optional<FileVersion16> Version(const std::wstring& path) const = 0;
  // The row belongs to the variant group of the installed companion edition.
  virtual bool PassesVariant(int32_t resourceId) const = 0;
};

// min <= installed <= max, compared part by part, major first; both bounds inclusive.
bool VersionInWindow(const FileVersion16& installed, const FileVersion16& min, const FileVersion16& max);

// The destination folder of a folder code: the first row of that code whose
// platform flag is set and whose folder is not empty, ending in a backslash;
// empty when there is none.
std::wstring DestinationFolder(const std::vector<FolderEntry>& folders, int32_t folderCode, bool is64);

// Appends to `list` each row of `table` that applies to the platform, whose
// destination exists as a file, that passes the variant check and whose
// installed version lies in its window (or that has no version resource), with
// its file name replaced by the full destination path (long-path form).
// Returns the number of rows appended, or -1 when none was.
int SelectInstallRows(const std::vector<PatchFileEntry>& table, const std::vector<FolderEntry>& folders,
                      bool is64, const InstalledFileProbe& probe, InstallList& list);
