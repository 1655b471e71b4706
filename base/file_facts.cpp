#include "base/file_facts.h"

#include <map>

#include "base/folder_handles.h"
#include "base/win32_raii.h"

namespace {

uint64_t Joined(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::wstring Folded(std::wstring text) {
  CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// One folder's plain files by folded name, with the folder's volume.
struct ListedFolder {
  bool read = false;
  uint32_t volume = 0;
  std::map<std::wstring, ListedEntry> files;
};

ListedFolder ListFiles(const std::wstring& folderPath) {
  ListedFolder listed;
  const UniqueFileHandle folder = OpenFolder(folderPath, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE);
  BY_HANDLE_FILE_INFORMATION information{};
  std::vector<ListedEntry> entries;
  if (!folder || IsLink(folder.Get()) || !GetFileInformationByHandle(folder.Get(), &information) ||
      !ListFolder(folder.Get(), entries)) {
    return listed;
  }
  listed.read = true;
  listed.volume = information.dwVolumeSerialNumber;
  for (ListedEntry& entry : entries) {
    if ((entry.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) continue;
    std::wstring name = Folded(entry.name);
    listed.files.emplace(std::move(name), std::move(entry));
  }
  return listed;
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
  std::map<std::wstring, ListedFolder> folders;
  std::vector<FileFacts> facts;
  facts.reserve(paths.size());
  for (const std::wstring& path : paths) {
    const size_t slash = path.find_last_of(L"\\/");
    const ListedEntry* entry = nullptr;
    uint32_t volume = 0;
    if (slash != std::wstring::npos && slash + 1 < path.size()) {
      const std::wstring folderPath = path.substr(0, slash + 1);
      auto folder = folders.find(Folded(folderPath));
      if (folder == folders.end()) folder = folders.emplace(Folded(folderPath), ListFiles(folderPath)).first;
      const auto found = folder->second.files.find(Folded(path.substr(slash + 1)));
      if (found != folder->second.files.end()) {
        entry = &found->second;
        volume = folder->second.volume;
      }
    }
    if (entry == nullptr) {
      facts.push_back(FactsOfFile(path));
      continue;
    }
    FileFacts listed;
    listed.exists = true;
    listed.volume = volume;
    listed.fileId = entry->fileId;
    listed.size = entry->size;
    listed.creationTime = Joined(entry->creationTime);
    listed.lastWriteTime = Joined(entry->lastWriteTime);
    listed.attributes = entry->attributes;
    facts.push_back(listed);
  }
  return facts;
}
