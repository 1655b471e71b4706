#include "payload/install_files.h"

#include <string>

#include "app/last_error.h"
#include "app/trace.h"
#include "payload/aside_name.h"
#include "payload/extract_payload.h"

namespace {

constexpr HRESULT kSharingViolation = static_cast<HRESULT>(0x80070020);

// Clears read-only and hidden so that the file can be replaced or deleted;
// returns the attributes it had (INVALID_FILE_ATTRIBUTES when unreadable).
DWORD MakeReplaceable(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) != 0) {
    SetFileAttributesW(path, attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  }
  return attributes;
}

std::wstring AsideNameNow(const wchar_t* path) {
  return AsideName(path, GetCurrentProcessId(), GetTickCount());
}

void DeleteAtNextRestart(const std::wstring& path) {
  MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace

HRESULT InstallFiles(const InstallList& list, HINSTANCE module) {
  const std::wstring workFolder = MakeWorkFolder(WorkFolderName());
  HRESULT result = S_OK;
  for (const PatchFileEntry& row : list) {
    if (row.resourceId == 0) {
      const HRESULT removed = RemoveInstalledFile(row.fileName.c_str());
      if (FAILED(removed)) result = removed;
    } else {
      std::wstring expanded;
      result = ExtractPayload(workFolder, row, L"PATCH", module, expanded);
      if (SUCCEEDED(result)) {
        const HRESULT replaced = OverwriteInstalledFile(expanded.c_str(), row.fileName.c_str());
        if (FAILED(replaced)) result = replaced;
        DeleteFileW(expanded.c_str());
      }
    }
    Trace(L"file: %ls %ls: 0x%08lX", row.resourceId == 0 ? L"removed" : L"replaced", row.fileName.c_str(),
          static_cast<unsigned long>(result));
    // The first failure ends the loop; rows already replaced stay replaced.
    if (FAILED(result)) break;
  }
  RemoveDirectoryW(workFolder.c_str());  // only when empty
  return result;
}

HRESULT OverwriteInstalledFile(const wchar_t* source, const wchar_t* destination) {
  const DWORD attributes = MakeReplaceable(destination);
  const DWORD carried = attributes & ~FILE_ATTRIBUTE_ENCRYPTED;
  const auto copied = [&] {
    if (!CopyFileW(source, destination, FALSE)) return false;
    // The copy takes the source's attributes: give it the installed file's.
    // The expanded source keeps its own, so that it can always be deleted.
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(destination, carried);
    return true;
  };
  if (copied()) return S_OK;
  const HRESULT copyFailure = LastErrorResult();
  if (copyFailure != kSharingViolation) return copyFailure;

  // In use: a running program or a loaded library can be renamed but not written.
  const std::wstring aside = AsideNameNow(destination);
  if (!MoveFileW(destination, aside.c_str())) return LastErrorResult();
  if (copied()) {
    DeleteAtNextRestart(aside);
    return S_OK;
  }
  const HRESULT failure = LastErrorResult();
  // Put the old file back, over whatever the failed copy left, and only then
  // give up: its deletion is scheduled only once the new file is in place, so
  // a failed copy can never cost the last good copy at the next restart.
  MoveFileExW(aside.c_str(), destination, MOVEFILE_REPLACE_EXISTING);
  return failure;
}

HRESULT RemoveInstalledFile(const wchar_t* destination) {
  MakeReplaceable(destination);
  if (DeleteFileW(destination)) return S_OK;
  const HRESULT failure = LastErrorResult();
  if (failure != kSharingViolation) return failure;
  const std::wstring aside = AsideNameNow(destination);
  if (!MoveFileW(destination, aside.c_str())) return LastErrorResult();
  DeleteAtNextRestart(aside);
  return S_OK;
}
