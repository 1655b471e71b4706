#include "records/removal.h"

#include <windows.h>

#include "app/win32_raii.h"
#include "app/trace.h"
#include "payload/extract_payload.h"
#include "payload/registry_import.h"
#include "records/folder_entry.h"

namespace {

struct FindTraits : FileHandleTraits {  // listings end with FindClose, not CloseHandle
  static void Close(HANDLE h) { FindClose(h); }
};
using UniqueFind = UniqueResource<FindTraits>;

// Clears the read-only attribute of the entry itself. A link is opened as the
// link, so that the attributes of what it points to stay untouched.
void ClearReadOnly(const std::wstring& path, bool link) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) return;
  const DWORD cleared = attributes & ~FILE_ATTRIBUTE_READONLY;
  if (!link) {
    SetFileAttributesW(path.c_str(), cleared);
    return;
  }
  UniqueFileHandle handle(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return;
  FILE_BASIC_INFO info{};
  info.FileAttributes = cleared;
  SetFileInformationByHandle(handle.Get(), FileBasicInfo, &info, sizeof info);
}

}  // namespace

void RemoveWorkFolder() {
  Sleep(5000);
  // The script is removed only once the editor has read it, or has had its time.
  const RegistryImportEnd import = WaitForRegistryImport(kRegistryImportWaitMs);
  if (import.started) {
    if (import.ended) {
      Trace(L"registry: editor ended with exit code 0x%08lX", static_cast<unsigned long>(import.exitCode));
    } else {
      Trace(L"registry: editor still running after %lu ms", static_cast<unsigned long>(kRegistryImportWaitMs));
    }
  }
  const std::wstring folder = MakeWorkFolder(WorkFolderName());
  if (folder.empty()) return;
  DeleteFileW((folder + L"Reg.reg").c_str());
  RemoveDirectoryW(folder.c_str());
}

bool DeleteFolderContents(const std::wstring& folder) {
  WIN32_FIND_DATAW entry{};
  UniqueFind listing(FindFirstFileW((folder + L"\\*.*").c_str(), &entry));
  if (!listing) return false;
  do {
    const FolderEntryAction action = ClassifyFolderEntry(entry.cFileName, entry.dwFileAttributes);
    if (action == FolderEntryAction::kSkip) continue;
    const std::wstring path = folder + L"\\" + entry.cFileName;
    ClearReadOnly(path, (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
    switch (action) {
      case FolderEntryAction::kRemoveTree:
        DeleteFolderContents(path);
        RemoveDirectoryW(path.c_str());
        break;
      case FolderEntryAction::kRemoveLink:
        RemoveDirectoryW(path.c_str());
        break;
      default:
        DeleteFileW(path.c_str());
        break;
    }
  } while (FindNextFileW(listing.Get(), &entry));
  return true;
}

bool RemoveFolderTree(const std::wstring& folder) {
  DeleteFolderContents(folder);
  return RemoveDirectoryW(folder.c_str()) != FALSE;
}
