#include "payload/held_script.h"

#include "base/folder_handles.h"
#include "base/last_error.h"
#include "payload/expand_file.h"
#include "payload/verified_file.h"

namespace {

constexpr ACCESS_MASK kWriteAccess = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE;

// Deletes what an earlier run left under the name (after a failed update the
// script stays); the folder is the updater's own, so that is all it can be.
void DeleteLeftover(HANDLE folder, const std::wstring& name) {
  UniqueFileHandle leftover = OpenEntry(folder, name, kRemoveAccess, kNtNonDirectoryFile);
  if (!leftover) return;
  FILE_BASIC_INFO plain{};  // zero times: left as they are
  plain.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(leftover.Get(), FileBasicInfo, &plain, sizeof plain);
  MarkForDeletion(leftover.Get());
}

UniqueFileHandle CreateNew(HANDLE folder, const std::wstring& name) {
  UniqueFileHandle made = CreateFileEntry(folder, name, kWriteAccess, 0);
  if (made || (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)) return made;
  DeleteLeftover(folder, name);
  return CreateFileEntry(folder, name, kWriteAccess, 0);
}

}  // namespace

HRESULT HeldScript::Make(HANDLE folder, const std::wstring& name, const PayloadFile& payload,
                         const PayloadDigest& expected) {
  Delete();
  HANDLE own = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), folder, GetCurrentProcess(), &own, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return LastErrorResult();
  }
  folder_.Reset(own);
  name_ = name;
  UniqueFileHandle written = CreateNew(folder_.Get(), name_);
  if (!written) return LastErrorResult();
  HRESULT result = ExpandIntoFile(payload.data, payload.size, written.Get());
  if (FAILED(result)) {
    MarkForDeletion(written.Get());
    return result;
  }
  StampPayloadTime(written.Get(), payload);
  made_ = IdentityOf(written.Get());
  // A handle that may write keeps out every reader that does not share
  // writing (as the editor may not), so the file is held by a reading one
  // from here on. That one shares reading only: it cannot be had while
  // anyone else may write to or delete the file, and the check through it
  // covers whatever was done between the two.
  written.Reset();
  reading_ = OpenEntry(folder_.Get(), name_, FILE_GENERIC_READ, kNtNonDirectoryFile, FILE_SHARE_READ);
  if (!reading_) return LastErrorResult();
  if (!SameFile(IdentityOf(reading_.Get()), made_)) {
    reading_.Reset();
    return HRESULT_FROM_WIN32(ERROR_CANT_ACCESS_FILE);  // replaced meanwhile: nothing of it is ours
  }
  result = CheckFileDigest(reading_.Get(), expected);
  if (FAILED(result)) Delete();
  return result;
}

bool HeldScript::Delete() {
  reading_.Reset();
  if (!folder_) return false;
  UniqueFileHandle removing = OpenEntry(folder_.Get(), name_, kRemoveAccess, kNtNonDirectoryFile);
  if (!removing) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) folder_.Reset();  // gone already
    return false;
  }
  if (!SameFile(IdentityOf(removing.Get()), made_)) {
    folder_.Reset();  // not the file made: it stays
    return false;
  }
  if (!MarkForDeletion(removing.Get())) return false;  // held for another try
  folder_.Reset();
  return true;
}
