#include "payload/extract_payload.h"

#include <cstdlib>

#include "app/last_error.h"
#include "app/win32_raii.h"
#include "payload/expand_file.h"
#include "payload/folder_table.h"

namespace {

constexpr HRESULT kOpenFailed = static_cast<HRESULT>(0x8007006E);

// Stamps the open file with the row's time, read as UTC, as creation, access
// and write time. A failure skips the stamp; the extraction still succeeds.
void StampFileTime(HANDLE file, const FileTime16& time) {
  SYSTEMTIME system{time.year, time.month, 0, time.day, time.hour, time.minute, time.second, time.millisecond};
  FILETIME stamp;
  if (SystemTimeToFileTime(&system, &stamp)) SetFileTime(file, &stamp, &stamp, &stamp);
}

}  // namespace

HRESULT ExtractPayload(const std::wstring& workFolder, const PatchFileEntry& row, const wchar_t* resourceType,
                       HINSTANCE module, std::wstring& expandedPath) {
  expandedPath.clear();
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(std::abs(row.resourceId)), resourceType);
  if (found == nullptr) return LastErrorResult();
  const std::wstring name = LastPathComponent(row.fileName);
  const DWORD size = SizeofResource(module, found);
  const HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (data == nullptr) return LastErrorResult();

  const std::wstring expanded = ToLongPath(workFolder + name);
  // A leftover of an earlier run that is read-only or hidden would make the
  // creation below fail; the work folder's files are all ours to overwrite.
  SetFileAttributesW(expanded.c_str(), FILE_ATTRIBUTE_NORMAL);
  // No compressed copy on disk: nothing to swap between writing and expanding.
  UniqueFileHandle target(
      CreateFileW(expanded.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!target) return kOpenFailed;
  const HRESULT result = ExpandIntoFile(data, size, target.Get());
  if (FAILED(result)) return result;
  StampFileTime(target.Get(), row.fileTime);
  expandedPath = expanded;
  return S_OK;
}
