#include "base/file_facts.h"

#include <map>

#include "base/folded_name.h"
#include "base/folder_handles.h"
#include "base/win32_raii.h"

namespace {

uint64_t Joined(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The plain files one folder lists, by folded name; none when the folder is
// a link or cannot be listed.
using ListedFiles = std::map<std::wstring, FileFacts>;

ListedFiles ListFiles(const std::wstring& folderPath) {
  ListedFiles files;
  const UniqueFileHandle folder = OpenFolder(folderPath, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE);
  BY_HANDLE_FILE_INFORMATION information{};
  std::vector<ListedEntry> entries;
  if (!folder || IsLink(folder.Get()) || !GetFileInformationByHandle(folder.Get(), &information) ||
      !ListFolder(folder.Get(), entries)) {
    return files;
  }
  for (const ListedEntry& entry : entries) {
    if ((entry.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) continue;
    FileFacts& facts = files[Folded(entry.name)];
    facts.exists = true;
    facts.volume = information.dwVolumeSerialNumber;
    facts.fileId = entry.fileId;
    facts.size = entry.size;
    facts.creationTime = Joined(entry.creationTime);
    facts.lastWriteTime = Joined(entry.lastWriteTime);
    facts.attributes = entry.attributes;
  }
  return files;
}

}  // namespace

FileFacts FactsOfFile(const std::wstring& path) {
  UniqueFileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file ? FactsOfHandle(file.Get()) : FileFacts();
}

FileFacts FactsOfHandle(HANDLE file) {
  FileFacts facts;
  BY_HANDLE_FILE_INFORMATION information{};
  if (file == nullptr || file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &information)) return facts;
  facts.exists = true;
  facts.volume = information.dwVolumeSerialNumber;
  facts.fileId = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  facts.size = (static_cast<uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  facts.creationTime = Joined(information.ftCreationTime);
  facts.lastWriteTime = Joined(information.ftLastWriteTime);
  facts.attributes = information.dwFileAttributes;
  return facts;
}

std::vector<FileFacts> FactsOfFiles(const std::vector<std::wstring>& paths) {
  std::map<std::wstring, ListedFiles> folders;
  std::vector<FileFacts> facts;
  facts.reserve(paths.size());
  for (const std::wstring& path : paths) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash + 1 == path.size()) {
      facts.push_back(FactsOfFile(path));
      continue;
    }
    const std::wstring folderPath = path.substr(0, slash + 1);
    const std::wstring key = Folded(folderPath);
    auto folder = folders.find(key);
    if (folder == folders.end()) folder = folders.emplace(key, ListFiles(folderPath)).first;
    const auto listed = folder->second.find(Folded(path.substr(slash + 1)));
    facts.push_back(listed != folder->second.end() ? listed->second : FactsOfFile(path));
  }
  return facts;
}
