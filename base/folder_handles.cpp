#include "base/folder_handles.h"

#include <winternl.h>

#include <utility>

namespace {

// ntdll's NtCreateFile opens an entry relative to the handle of its folder.
// Looked up once; ntdll is in every process.
using NtCreateFileFn = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, LARGE_INTEGER*,
                                    ULONG, ULONG, ULONG, ULONG, void*, ULONG);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(LONG);

HMODULE Ntdll() { return GetModuleHandleW(L"ntdll.dll"); }

NtCreateFileFn NtCreateFileFunction() {
  static const auto function =
      reinterpret_cast<NtCreateFileFn>(reinterpret_cast<void*>(GetProcAddress(Ntdll(), "NtCreateFile")));
  return function;
}

constexpr ULONG kFileOpen = 1;
constexpr ULONG kFileCreate = 2;
constexpr ULONG kSynchronousIo = 0x00000020;
constexpr ULONG kOpenForBackup = 0x00004000;
constexpr ULONG kOpenReparsePoint = 0x00200000;

// NtCreateFile below `folder`; the last error is set from its status on failure.
UniqueFileHandle CreateBelow(HANDLE folder, const std::wstring& name, ACCESS_MASK access, DWORD share,
                             ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR security) {
  const NtCreateFileFn create = NtCreateFileFunction();
  if (create == nullptr || name.empty() || name.size() > 0x7FFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return UniqueFileHandle();
  }
  const USHORT bytes = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  UNICODE_STRING text{bytes, bytes, const_cast<wchar_t*>(name.c_str())};
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof attributes;
  attributes.RootDirectory = folder;
  attributes.ObjectName = &text;
  attributes.Attributes = OBJ_CASE_INSENSITIVE;
  attributes.SecurityDescriptor = security;
  IO_STATUS_BLOCK status{};
  HANDLE handle = nullptr;
  const LONG result = create(&handle, access | SYNCHRONIZE, &attributes, &status, nullptr, 0, share, disposition,
                             options | kOpenReparsePoint | kSynchronousIo | kOpenForBackup, nullptr, 0);
  if (result < 0) {
    static const auto toDosError = reinterpret_cast<RtlNtStatusToDosErrorFn>(
        reinterpret_cast<void*>(GetProcAddress(Ntdll(), "RtlNtStatusToDosError")));
    SetLastError(toDosError ? toDosError(result) : ERROR_GEN_FAILURE);
    return UniqueFileHandle();
  }
  return UniqueFileHandle(handle);
}

}  // namespace

UniqueFileHandle OpenEntry(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG kind, DWORD share) {
  return CreateBelow(folder, name, access, share, kFileOpen, kind, nullptr);
}

UniqueFileHandle CreateFolderEntry(HANDLE parent, const std::wstring& name, ACCESS_MASK access, DWORD share,
                                   PSECURITY_DESCRIPTOR security) {
  return CreateBelow(parent, name, access, share, kFileCreate, kNtDirectoryFile, security);
}

UniqueFileHandle CreateFileEntry(HANDLE folder, const std::wstring& name, ACCESS_MASK access, DWORD share,
                                 ULONG options) {
  return CreateBelow(folder, name, access, share, kFileCreate, kNtNonDirectoryFile | options, nullptr);
}

UniqueFileHandle OpenFolder(const std::wstring& path, ACCESS_MASK access) {
  return UniqueFileHandle(CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool IsLink(HANDLE entry) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  return GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag) &&
         (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool ListFolder(HANDLE folder, std::vector<ListedEntry>& entries) {
  // Wine keeps the listing a handle read first, even when asked to start
  // again: a fresh handle of the same folder lists what is there now.
  const UniqueFileHandle fresh(
      ReOpenFile(folder, FILE_LIST_DIRECTORY | SYNCHRONIZE, kShareAll, FILE_FLAG_BACKUP_SEMANTICS));
  if (fresh) folder = fresh.Get();
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
      ListedEntry listed;
      listed.name.assign(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      listed.attributes = entry->FileAttributes;
      listed.fileId = static_cast<ULONGLONG>(entry->FileId.QuadPart);
      listed.size = static_cast<ULONGLONG>(entry->EndOfFile.QuadPart);
      listed.creationTime = {entry->CreationTime.LowPart, static_cast<DWORD>(entry->CreationTime.HighPart)};
      listed.lastWriteTime = {entry->LastWriteTime.LowPart, static_cast<DWORD>(entry->LastWriteTime.HighPart)};
      entries.push_back(std::move(listed));
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
}

namespace {

enum class Listing { kUnreadable, kAbsent, kPresent };

// Names compared as the file system compares them, without regard to case.
Listing FindListed(HANDLE folder, const std::wstring& name, ListedEntry& found) {
  std::vector<ListedEntry> entries;
  if (!ListFolder(folder, entries)) return Listing::kUnreadable;
  for (ListedEntry& entry : entries) {
    if (CompareStringOrdinal(entry.name.c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL) {
      found = std::move(entry);
      return Listing::kPresent;
    }
  }
  return Listing::kAbsent;
}

}  // namespace

bool ListedAsGone(HANDLE folder, const std::wstring& name) {
  ListedEntry entry;
  return FindListed(folder, name, entry) == Listing::kAbsent;
}

bool ListedAsLink(HANDLE folder, const std::wstring& name) {
  ListedEntry entry;
  return FindListed(folder, name, entry) != Listing::kPresent ||
         (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool ListedAsLink(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos || slash + 1 >= path.size()) return true;
  UniqueFileHandle parent = OpenFolder(path.substr(0, slash + 1));
  return !parent || ListedAsLink(parent.Get(), path.substr(slash + 1));
}

FileIdentity IdentityOf(HANDLE entry) {
  FileIdentity identity;
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(entry, &information)) return identity;
  identity.known = true;
  identity.volume = information.dwVolumeSerialNumber;
  identity.index = (ULONGLONG{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
  return identity;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.known && b.known && a.volume == b.volume && a.index == b.index;
}

std::wstring FinalPathOf(HANDLE entry) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(entry, path.data(), static_cast<DWORD>(path.size()), 0);
    if (length == 0) return std::wstring();
    if (length < path.size()) return path.substr(0, length);
    path.resize(length + 1);
  }
}

bool OpenedItself(HANDLE folder, const std::wstring& name, HANDLE entry) {
  if (IsLink(entry) || ListedAsLink(folder, name)) return false;
  const std::wstring folderPath = FinalPathOf(folder);
  const std::wstring entryPath = FinalPathOf(entry);
  if (folderPath.empty() || entryPath.empty()) return false;
  const std::wstring expected = folderPath + (folderPath.back() == L'\\' ? L"" : L"\\") + name;
  return CompareStringOrdinal(entryPath.c_str(), -1, expected.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool MarkForDeletion(HANDLE entry) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  return SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}
