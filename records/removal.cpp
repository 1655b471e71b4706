#include "records/removal.h"

#include <windows.h>
#include <winternl.h>

#include <string>
#include <vector>

#include "app/win32_raii.h"
#include "app/trace.h"
#include "payload/extract_payload.h"
#include "payload/registry_import.h"
#include "records/folder_entry.h"

namespace {

// ntdll's NtCreateFile opens an entry relative to the handle of its folder:
// a folder renamed or swapped for a link after its listing cannot redirect
// the walk. Looked up once; ntdll is in every process.
using NtCreateFileFn = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, LARGE_INTEGER*,
                                    ULONG, ULONG, ULONG, ULONG, void*, ULONG);

NtCreateFileFn NtCreateFileFunction() {
  static const auto function = reinterpret_cast<NtCreateFileFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateFile")));
  return function;
}

constexpr ULONG kFileOpen = 1;
constexpr ULONG kDirectoryFile = 0x00000001;
constexpr ULONG kSynchronousIo = 0x00000020;
constexpr ULONG kNonDirectoryFile = 0x00000040;
constexpr ULONG kOpenForBackup = 0x00004000;
constexpr ULONG kOpenReparsePoint = 0x00200000;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ACCESS_MASK kRemoveAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;

// The entry `name` of `folder`, itself (a link is not followed), or no handle.
UniqueFileHandle OpenEntry(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG kind) {
  const NtCreateFileFn create = NtCreateFileFunction();
  if (create == nullptr || name.size() > 0x7FFF) return UniqueFileHandle();
  const USHORT bytes = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  UNICODE_STRING text{bytes, bytes, const_cast<wchar_t*>(name.c_str())};
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof attributes;
  attributes.RootDirectory = folder;
  attributes.ObjectName = &text;
  attributes.Attributes = OBJ_CASE_INSENSITIVE;
  IO_STATUS_BLOCK status{};
  HANDLE handle = nullptr;
  if (create(&handle, access | SYNCHRONIZE, &attributes, &status, nullptr, 0, kShareAll, kFileOpen,
             kind | kOpenReparsePoint | kSynchronousIo | kOpenForBackup, nullptr, 0) < 0) {
    return UniqueFileHandle();
  }
  return UniqueFileHandle(handle);
}

// A folder by path, itself (a link is not followed).
UniqueFileHandle OpenFolder(const std::wstring& path) {
  return UniqueFileHandle(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | kRemoveAccess, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
}

bool IsLink(HANDLE entry) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  return GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag) &&
         (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

struct ListedEntry {
  std::wstring name;
  DWORD attributes;
};

// The entries of an open folder, as its listing gives them.
bool ListFolder(HANDLE folder, std::vector<ListedEntry>& entries) {
  std::vector<unsigned char> buffer(64 * 1024);
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!GetFileInformationByHandleEx(folder, kind, buffer.data(), static_cast<DWORD>(buffer.size()))) {
      return GetLastError() == ERROR_NO_MORE_FILES;
    }
    kind = FileIdBothDirectoryInfo;
    size_t offset = 0;
    for (;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + offset);
      entries.push_back({std::wstring(entry->FileName, entry->FileNameLength / sizeof(wchar_t)),
                         entry->FileAttributes});
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
}

// Whether the folder that holds `path` lists it as a link. Wine shows a Linux
// symbolic link as a link only in its folder's listing: a handle, and a
// lookup of the name alone, go through to what it points to. Anything that
// cannot be told counts as a link, so that nothing behind it is touched.
bool ListedAsLink(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos || slash + 1 >= path.size()) return true;
  const std::wstring name = path.substr(slash + 1);
  UniqueFileHandle parent = OpenFolder(path.substr(0, slash + 1));
  std::vector<ListedEntry> entries;
  if (!parent || !ListFolder(parent.Get(), entries)) return true;
  for (const ListedEntry& entry : entries) {
    if (CompareStringOrdinal(entry.name.c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL) {
      return (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    }
  }
  return true;
}

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

// Deletes the entry when its last handle closes; false when it cannot be.
bool MarkForDeletion(HANDLE entry) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  return SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
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
      UniqueFileHandle sub = OpenEntry(folder, listed.name, FILE_LIST_DIRECTORY | kRemoveAccess, kDirectoryFile);
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
      UniqueFileHandle file = OpenEntry(folder, listed.name, kRemoveAccess, kNonDirectoryFile);
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
  const std::wstring path = WithoutTrailingSeparator(folder);
  if (ListedAsLink(path)) return false;  // what a link points to is never touched
  UniqueFileHandle root = OpenFolder(path);
  if (!root || IsLink(root.Get())) return false;
  return DeleteContents(root.Get());
}

bool RemoveFolderTree(const std::wstring& folder) {
  const std::wstring path = WithoutTrailingSeparator(folder);
  UniqueFileHandle root = OpenFolder(path);
  if (!root) return false;
  if (IsLink(root.Get())) {
    DeleteOnClose(root.Get());  // the link itself
  } else if (!ListedAsLink(path)) {
    DeleteContents(root.Get());
    DeleteOnClose(root.Get());
  }
  root.Reset();
  return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool DeleteFileBelow(const std::wstring& folder, const std::wstring& relative) {
  std::wstring listed = WithoutTrailingSeparator(folder);
  UniqueFileHandle current = OpenFolder(listed);
  if (!current || IsLink(current.Get())) return false;
  size_t start = 0;
  for (;;) {
    const size_t slash = relative.find(L'\\', start);
    const std::wstring name = relative.substr(start, slash == std::wstring::npos ? std::wstring::npos : slash - start);
    listed += L"\\" + name;
    if (name.empty() || ListedAsLink(listed)) return false;
    if (slash == std::wstring::npos) {
      UniqueFileHandle file = OpenEntry(current.Get(), name, kRemoveAccess, kNonDirectoryFile);
      return file && !IsLink(file.Get()) && MarkForDeletion(file.Get());
    }
    UniqueFileHandle next = OpenEntry(current.Get(), name, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, kDirectoryFile);
    if (!next || IsLink(next.Get())) return false;
    current = std::move(next);
    start = slash + 1;
  }
}
