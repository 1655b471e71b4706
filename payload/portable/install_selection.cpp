#include "payload/portable/install_selection.h"

#include <tuple>

namespace {

auto Parts(const FileVersion16& v) { return std::tie(v.major, v.minor, v.build, v.revision); }

}  // namespace

bool VersionInWindow(const FileVersion16& installed, const FileVersion16& min, const FileVersion16& max) {
  return Parts(min) <= Parts(installed) && Parts(installed) <= Parts(max);
}

std::wstring DestinationFolder(const std::vector<FolderEntry>& folders, int32_t folderCode, bool is64) {
  for (const FolderEntry& folder : folders) {
    if (folder.folderCode != folderCode || !(is64 ? folder.on64 : folder.on32)) continue;
    if (folder.subFolder.empty()) continue;
    std::wstring path = folder.subFolder;
    if (path.back() != L'\\') path += L'\\';
    return path;
  }
  return std::wstring();
}

int SelectInstallRows(const std::vector<PatchFileEntry>& table, const std::vector<FolderEntry>& folders,
                      bool is64, const InstalledFileProbe& probe, InstallList& list) {
  int selected = 0;
  for (const PatchFileEntry& row : table) {
    if (!(is64 ? row.on64 : row.on32)) continue;
    const std::wstring destination = ToLongPath(DestinationFolder(folders, row.folderCode, is64) + row.fileName);
    // Only files that are there are replaced; the update never adds one.
    if (!probe.IsFile(destination) || !probe.PassesVariant(row.resourceId)) continue;
    const std::optional<FileVersion16> installed = probe.Version(destination);
    if (installed && !VersionInWindow(*installed, row.minVersion, row.maxVersion)) continue;
    PatchFileEntry entry = row;
    entry.fileName = destination;
    list.push_back(std::move(entry));
    ++selected;
  }
  return selected > 0 ? selected : -1;
}
