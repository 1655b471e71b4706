#include "records/removal.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/file_facts.h"
#include "base/folder_handles.h"
#include "base/win32_raii.h"
#include "base/trace.h"
#include "base/try_again.h"
#include "payload/work_folder.h"
#include "payload/registry_import.h"
#include "records/portable/folder_entry.h"

namespace {

// Clears the read-only attribute of the entry itself (of a link, not of what it points to).
void ClearReadOnly(HANDLE entry) {
  FILE_BASIC_INFO info{};
  if (!GetFileInformationByHandleEx(entry, FileBasicInfo, &info, sizeof info) ||
      (info.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0) {
    return;
  }
  FILE_BASIC_INFO cleared{};  // zero times: left as they are
  cleared.FileAttributes = info.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
  if (cleared.FileAttributes == 0) cleared.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(entry, FileBasicInfo, &cleared, sizeof cleared);
}

void DeleteOnClose(HANDLE entry) {
  ClearReadOnly(entry);
  MarkForDeletion(entry);
}

bool DeleteContents(HANDLE folder);

// Removes one entry of `folder` as its listing describes it; whatever cannot
// be removed stays.
void RemoveEntry(HANDLE folder, const ListedEntry& listed) {
  switch (ClassifyFolderEntry(listed.name, listed.attributes)) {
    case FolderEntryAction::kSkip:
      return;
    case FolderEntryAction::kRemoveTree: {
      UniqueFileHandle sub = OpenEntry(folder, listed.name, FILE_LIST_DIRECTORY | kRemoveAccess, kNtDirectoryFile);
      if (!sub) return;
      if (IsLink(sub.Get())) {
        DeleteOnClose(sub.Get());  // swapped for a link after the listing: the link goes, never what is behind it
        return;
      }
      DeleteContents(sub.Get());
      DeleteOnClose(sub.Get());
      return;
    }
    case FolderEntryAction::kRemoveLink: {
      UniqueFileHandle link = OpenEntry(folder, listed.name, kRemoveAccess, 0);
      // Only what opens as a link is removed: Wine opens what a Linux link
      // points to, which stays with the link.
      if (link && IsLink(link.Get())) DeleteOnClose(link.Get());
      return;
    }
    case FolderEntryAction::kDeleteFile: {
      UniqueFileHandle file = OpenEntry(folder, listed.name, kRemoveAccess, kNtNonDirectoryFile);
      if (file) DeleteOnClose(file.Get());
      return;
    }
  }
}

bool DeleteContents(HANDLE folder) {
  std::vector<ListedEntry> entries;
  if (!ListFolder(folder, entries)) return false;
  for (const ListedEntry& entry : entries) RemoveEntry(folder, entry);
  return true;
}

std::wstring WithoutTrailingSeparator(std::wstring path) {
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}

constexpr ACCESS_MASK kWalkAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;

// A name that stays in its folder: not empty, "." or "..", and no separator.
bool IsEntryName(const std::wstring& name) {
  return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\/") == std::wstring::npos;
}

// The entry `name` of the open `folder` when it is itself no link, by its
// handle and by the folder's listing (Wine shows a Linux link only there).
UniqueFileHandle OpenUnlinked(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG kind) {
  UniqueFileHandle entry = OpenEntry(folder, name, access, kind);
  if (!entry || IsLink(entry.Get()) || ListedAsLink(folder, name)) return UniqueFileHandle();
  return entry;
}

// The folder that holds the last component of `relative` below `base`,
// reached one component at a time; `last` receives that component. No handle
// when a component is missing or a link.
UniqueFileHandle OpenHoldingFolder(const std::wstring& base, const std::wstring& relative, std::wstring& last) {
  UniqueFileHandle current = OpenFolder(WithoutTrailingSeparator(base), kWalkAccess);
  if (!current || IsLink(current.Get())) return UniqueFileHandle();
  size_t start = 0;
  for (;;) {
    const size_t slash = relative.find(L'\\', start);
    std::wstring name = relative.substr(start, slash == std::wstring::npos ? std::wstring::npos : slash - start);
    if (!IsEntryName(name)) return UniqueFileHandle();
    if (slash == std::wstring::npos) {
      last = std::move(name);
      return current;
    }
    UniqueFileHandle next = OpenUnlinked(current.Get(), name, kWalkAccess, kNtDirectoryFile);
    if (!next) return UniqueFileHandle();
    current = std::move(next);
    start = slash + 1;
  }
}

}  // namespace

void RemoveWorkFolder() {
  // The script is removed only once the editor has read it, or has had its time.
  const RegistryImportEnd import = WaitForRegistryImport(kRegistryImportWaitMs);
  if (import.started) {
    if (import.ended) {
      Trace(L"registry: editor ended with exit code 0x%08lX", static_cast<unsigned long>(import.exitCode));
    } else {
      Trace(L"registry: editor still running after %lu ms", static_cast<unsigned long>(kRegistryImportWaitMs));
    }
  }
  // Both through the handles held since they were made: nothing is looked up
  // by path, and a folder that is gone is not made again.
  // A deletion that fails (a scanner that opened the file, a moment's
  // sharing violation) is tried again.
  TryAgainWhileFailing([] { return DeleteRegistryScript() || !RegistryScriptHeld(); });
  TryAgainWhileFailing([] { return RemoveWorkFolderIfEmpty() || HeldWorkFolder() == nullptr; });
}

bool DeleteFolderContents(const std::wstring& base, const std::wstring& relative) {
  std::wstring name;
  const UniqueFileHandle holder = OpenHoldingFolder(base, relative, name);
  if (!holder) return false;
  const UniqueFileHandle root = OpenUnlinked(holder.Get(), name, kWalkAccess, kNtDirectoryFile);
  return root && DeleteContents(root.Get());
}

bool RemoveFolderTree(const std::wstring& base, const std::wstring& relative) {
  std::wstring name;
  const UniqueFileHandle holder = OpenHoldingFolder(base, relative, name);
  if (!holder) return false;
  UniqueFileHandle root = OpenEntry(holder.Get(), name, FILE_LIST_DIRECTORY | kRemoveAccess, kNtDirectoryFile);
  if (!root) return false;
  if (IsLink(root.Get())) {
    DeleteOnClose(root.Get());  // the link itself
  } else if (!ListedAsLink(holder.Get(), name)) {
    DeleteContents(root.Get());
    DeleteOnClose(root.Get());
  }
  root.Reset();
  return ListedAsGone(holder.Get(), name);
}

bool DeleteFileBelow(const std::wstring& base, const std::wstring& relative) {
  std::wstring name;
  const UniqueFileHandle holder = OpenHoldingFolder(base, relative, name);
  if (!holder) return false;
  const UniqueFileHandle file = OpenUnlinked(holder.Get(), name, kRemoveAccess, kNtNonDirectoryFile);
  return file && MarkForDeletion(file.Get());
}

bool RemoveEarlierWorkFolder(const std::wstring& path, const FileFacts& identity) {
  UniqueFileHandle folder = OpenFolder(path);
  if (!folder) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  if (IsLink(folder.Get()) || !IsSameFile(FactsOfHandle(folder.Get()), identity)) return true;  // not ours
  {
    // Closed before the folder is marked: a file marked for deletion goes when it is closed.
    const UniqueFileHandle script = OpenUnlinked(folder.Get(), kRegistryScriptFileName, kRemoveAccess,
                                                 kNtNonDirectoryFile);
    if (script) DeleteOnClose(script.Get());
  }
  MarkForDeletion(folder.Get());
  folder.Reset();
  return !IsSameFile(FactsOfFile(path), identity);
}
