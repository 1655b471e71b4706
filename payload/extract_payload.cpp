#include "payload/extract_payload.h"

#include <cstdlib>

#include "base/last_error.h"
#include "base/win32_raii.h"
#include "payload/expand_file.h"
#include "payload/portable/folder_table.h"

namespace {

// The row's time, read as UTC; zero when it is not a valid date.
FILETIME RowFileTime(const FileTime16& time) {
  SYSTEMTIME system{time.year, time.month, 0, time.day, time.hour, time.minute, time.second, time.millisecond};
  FILETIME stamp{};
  if (!SystemTimeToFileTime(&system, &stamp)) return FILETIME{};
  return stamp;
}

}  // namespace

HRESULT LoadPayloadFile(HINSTANCE module, const wchar_t* resourceType, const PatchFileEntry& row,
                        PayloadFile& payload) {
  payload = PayloadFile{};
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(std::abs(row.resourceId)), resourceType);
  if (found == nullptr) return LastErrorResult();
  const DWORD size = SizeofResource(module, found);
  const HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (data == nullptr) return LastErrorResult();
  payload.data = data;
  payload.size = size;
  payload.time = RowFileTime(row.fileTime);
  return S_OK;
}

void StampPayloadTime(HANDLE file, const PayloadFile& payload) {
  if (payload.time.dwLowDateTime == 0 && payload.time.dwHighDateTime == 0) return;
  SetFileTime(file, &payload.time, &payload.time, &payload.time);
}

HRESULT ExtractPayload(const std::wstring& workFolder, const PatchFileEntry& row, const wchar_t* resourceType,
                       HINSTANCE module, std::wstring& expandedPath) {
  expandedPath.clear();
  PayloadFile payload;
  const HRESULT loaded = LoadPayloadFile(module, resourceType, row, payload);
  if (FAILED(loaded)) return loaded;

  const std::wstring expanded = ToLongPath(workFolder + LastPathComponent(row.fileName));
  // A leftover of an earlier run that is read-only or hidden would make the
  // creation below fail; the work folder's files are all ours to overwrite.
  SetFileAttributesW(expanded.c_str(), FILE_ATTRIBUTE_NORMAL);
  // No compressed copy on disk: nothing to swap between writing and expanding.
  UniqueFileHandle target(
      CreateFileW(expanded.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!target) return kOpenFailed;
  const HRESULT result = ExpandIntoFile(payload.data, payload.size, target.Get());
  if (FAILED(result)) return result;
  // An invalid date skips the stamp; the extraction still succeeds.
  StampPayloadTime(target.Get(), payload);
  expandedPath = expanded;
  return S_OK;
}
