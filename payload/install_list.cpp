#include "payload/install_list.h"

#include <windows.h>
#include <shlobj.h>

#include "base/platform.h"
#include "applicability/installed_product.h"
#include "payload/portable/folder_table.h"
#include "payload/portable/install_selection.h"
#include "payload/portable/patch_file_table.h"

namespace {

// Looks at the installed files through the file system and their version resources.
class InstalledFiles : public InstalledFileProbe {
 public:
  // A file whose attributes cannot be read for another reason than its
  // absence counts as there: skipping it would leave the product with one
  // old file among new ones, while its replacement either works or fails
  // the update as a whole.
  bool IsFile(const std::wstring& path) const override {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = GetLastError();
      return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME &&
             error != ERROR_BAD_NETPATH && error != ERROR_BAD_PATHNAME;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }
  std::optional<FileVersion16> Version(const std::wstring& path) const override {
    VS_FIXEDFILEINFO info{};
    if (!ReadFixedFileVersion(path.c_str(), info)) return std::nullopt;
    return FileVersion16{HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS), HIWORD(info.dwFileVersionLS),
                         LOWORD(info.dwFileVersionLS)};
  }
  bool PassesVariant(int32_t resourceId) const override { return PassesStoryloomVariant(resourceId); }
};

// A special folder, empty when it cannot be read.
std::wstring SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  return SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE) ? std::wstring(path) : std::wstring();
}

}  // namespace

int BuildInstallList(InstallList& list) {
  list.clear();
  const std::wstring programFiles = SpecialFolder(CSIDL_PROGRAM_FILESX86);
  const std::wstring commonFiles = SpecialFolder(CSIDL_PROGRAM_FILES_COMMONX86);
  if (programFiles.empty() || commonFiles.empty()) return -1;
  const std::vector<FolderEntry> folders =
      PrefixedFolderTable(programFiles + kApplicationFolderTail, commonFiles + kSharedLibraryFolderTail);
  return SelectInstallRows(PatchFileTable(), folders, Is64BitProcessor(), InstalledFiles(), list);
}
