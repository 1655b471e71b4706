#include "payload/held_script.h"

#include "app/folder_handles.h"
#include "app/last_error.h"
#include "payload/expand_file.h"
#include "payload/verified_file.h"

namespace {

constexpr ACCESS_MASK kWriteAccess = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE;
constexpr ACCESS_MASK kEntryAccess = FILE_READ_ATTRIBUTES | SYNCHRONIZE;

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
  UniqueFileHandle written = CreateNew(folder, name);
  if (!written) return LastErrorResult();
  entry_.Reset(ReOpenFile(written.Get(), kEntryAccess, kShareAll, 0));
  if (!entry_) {
    const HRESULT failure = LastErrorResult();
    MarkForDeletion(written.Get());
    return failure;
  }
  HRESULT result = ExpandIntoFile(payload.data, payload.size, written.Get());
  if (SUCCEEDED(result) && (payload.time.dwLowDateTime != 0 || payload.time.dwHighDateTime != 0)) {
    SetFileTime(written.Get(), &payload.time, &payload.time, &payload.time);
  }
  if (FAILED(result)) {
    MarkForDeletion(written.Get());
    entry_.Reset();
    return result;
  }
  // A handle that may write keeps out every reader that does not share
  // writing (as the editor may not), so the file is held by a reading one
  // from here on. That one shares reading only: it cannot be had while
  // anyone else may write to or delete the file, and the check through it
  // covers whatever was done between the two.
  written.Reset();
  reading_.Reset(ReOpenFile(entry_.Get(), FILE_GENERIC_READ, FILE_SHARE_READ, FILE_FLAG_SEQUENTIAL_SCAN));
  result = reading_ ? CheckFileDigest(reading_.Get(), expected) : LastErrorResult();
  if (FAILED(result)) Delete();
  return result;
}

bool HeldScript::Delete() {
  reading_.Reset();
  if (!entry_) return false;
  UniqueFileHandle removing(ReOpenFile(entry_.Get(), DELETE | SYNCHRONIZE, kShareAll, 0));
  entry_.Reset();
  return removing && MarkForDeletion(removing.Get());
}
