// Files and folders opened through handles rather than paths, links never
// followed: the elevated updater works in folders that other programs of the
// user can change, and a path checked once may lead elsewhere the next time.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "base/win32_raii.h"

// NtCreateFile's options used here.
constexpr ULONG kNtDirectoryFile = 0x00000001;
constexpr ULONG kNtNonDirectoryFile = 0x00000040;
constexpr ULONG kNtWriteThrough = 0x00000002;  // every write reaches the disk before it returns
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// What removing an entry needs.
constexpr ACCESS_MASK kRemoveAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;

// The entry `name` of the open `folder`, itself (a link is not followed), or
// no handle. `kind` is kNtDirectoryFile, kNtNonDirectoryFile or 0 (either).
UniqueFileHandle OpenEntry(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG kind,
                           DWORD share = kShareAll);

// Creates the folder `name` in the open `parent` with the security
// descriptor given and opens it in the same step, so that the handle is
// certainly the folder just made. Fails (with the last error set) when an
// entry of that name exists.
UniqueFileHandle CreateFolderEntry(HANDLE parent, const std::wstring& name, ACCESS_MASK access, DWORD share,
                                   PSECURITY_DESCRIPTOR security);

// Creates the file `name` in the open `folder` and opens it in the same step,
// so that the handle is certainly the file just made. Fails (with the last
// error set) when an entry of that name exists. `options` adds NtCreateFile's
// options (kNtWriteThrough).
UniqueFileHandle CreateFileEntry(HANDLE folder, const std::wstring& name, ACCESS_MASK access, DWORD share,
                                 ULONG options = 0);

// A folder by path, itself (a link is not followed).
UniqueFileHandle OpenFolder(const std::wstring& path, ACCESS_MASK access = FILE_LIST_DIRECTORY | kRemoveAccess);

// Whether the open entry is a link (any reparse point).
bool IsLink(HANDLE entry);

struct ListedEntry {
  std::wstring name;
  DWORD attributes = 0;
  ULONGLONG fileId = 0;  // the entry's index on the folder's volume
  ULONGLONG size = 0;
  FILETIME creationTime{};
  FILETIME lastWriteTime{};
};

// The entries of an open folder, as its listing gives them now.
bool ListFolder(HANDLE folder, std::vector<ListedEntry>& entries);

// Whether the folder that holds `path` lists it as a link. Wine shows a Linux
// symbolic link as a link only in its folder's listing: a handle, and a
// lookup of the name alone, go through to what it points to. Anything that
// cannot be told counts as a link, so that nothing behind it is touched.
bool ListedAsLink(const std::wstring& path);

// Whether the open `folder` lists its entry `name` as a link; the same rule,
// with the folder's own handle, so that nothing is looked up by path again.
bool ListedAsLink(HANDLE folder, const std::wstring& name);

// Whether the open `folder` can be listed and has no entry `name`.
bool ListedAsGone(HANDLE folder, const std::wstring& name);

// What tells one open file from another: its volume and its index there.
struct FileIdentity {
  bool known = false;
  DWORD volume = 0;
  ULONGLONG index = 0;
};
FileIdentity IdentityOf(HANDLE entry);
// True only for two known identities that are the same.
bool SameFile(const FileIdentity& a, const FileIdentity& b);

// The path that an open entry leads to, in the "\\?\" form, or nothing.
std::wstring FinalPathOf(HANDLE entry);

// Whether `entry`, opened as `name` of the open `folder`, is that entry
// itself and no link: not a link by its handle or in the folder's listing,
// and leading to the folder's own path and that name. Wine lists a Linux link
// to a file as a plain file; only where its handle leads tells it apart.
bool OpenedItself(HANDLE folder, const std::wstring& name, HANDLE entry);

// Deletes the entry when its last handle closes; false when it cannot be
// (a folder that is not empty, for one).
bool MarkForDeletion(HANDLE entry);
