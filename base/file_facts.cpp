#include "base/file_facts.h"

#include "base/folder_handles.h"
#include "base/win32_raii.h"

namespace {

uint64_t Joined(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
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
