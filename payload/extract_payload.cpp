#include "payload/extract_payload.h"

#include <cstdlib>
#include <cwchar>
#include <vector>

#include "app/last_error.h"
#include "app/platform.h"
#include "app/win32_raii.h"
#include "payload/expand_file.h"
#include "payload/folder_table.h"

namespace {

std::wstring LastComponent(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Stamps the file with the row's time, read as UTC, as creation, access and write time.
void StampFileTime(const std::wstring& path, const FileTime16& time) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;  // the time stamp is skipped; the extraction still succeeds
  SYSTEMTIME system{time.year, time.month, 0, time.day, time.hour, time.minute, time.second, time.millisecond};
  FILETIME stamp;
  if (SystemTimeToFileTime(&system, &stamp)) SetFileTime(file.Get(), &stamp, &stamp, &stamp);
}

// Writes the compressed copy in one write, straight from the resource's memory.
HRESULT WriteCompressedCopy(HANDLE file, const void* data, DWORD size) {
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  SetEndOfFile(file);
  DWORD written = 0;
  if (!WriteFile(file, data, size, &written, nullptr)) return LastErrorResult();
  return S_OK;
}

}  // namespace

std::wstring WorkFolderName() {
  const std::wstring name = LastComponent(OwnModulePath());
  if (!name.empty()) return name;
  wchar_t fallback[32];
  std::swprintf(fallback, 32, L"%x.%08x", static_cast<unsigned>(GetCurrentProcessId()),
                static_cast<unsigned>(GetTickCount()));
  return fallback;
}

std::wstring MakeWorkFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  std::wstring folder = temp;
  if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  folder += name + L".tmp\\";
  // The shell's folder creation makes missing parents too; its result is not
  // needed, since an existing folder is simply reused.
  using CreateDirectoryFn = int(WINAPI*)(HWND, const wchar_t*);
  HMODULE shell = GetModuleHandleW(L"shell32.dll");
  if (shell == nullptr) shell = LoadLibraryW(L"shell32.dll");  // stays loaded for the run
  if (shell != nullptr) {
    const auto create = reinterpret_cast<CreateDirectoryFn>(
        reinterpret_cast<void*>(GetProcAddress(shell, MAKEINTRESOURCEA(165))));
    if (create != nullptr) create(nullptr, folder.c_str());
  }
  return folder;
}

HRESULT ExtractPayload(const std::wstring& workFolder, const PatchFileEntry& row, const wchar_t* resourceType,
                       HINSTANCE module, std::wstring& expandedPath) {
  expandedPath.clear();
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(std::abs(row.resourceId)), resourceType);
  if (found == nullptr) return LastErrorResult();
  const std::wstring name = LastComponent(row.fileName);
  const DWORD size = SizeofResource(module, found);
  const HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (data == nullptr) return LastErrorResult();

  const std::wstring compressed = ToLongPath(workFolder + name + L".tmp");
  const std::wstring expanded = ToLongPath(workFolder + name);
  // A leftover of an earlier run that is read-only or hidden would make the
  // creation below fail; the work folder's files are all ours to overwrite.
  for (const std::wstring* path : {&compressed, &expanded}) SetFileAttributesW(path->c_str(), FILE_ATTRIBUTE_NORMAL);
  HRESULT result;
  {
    UniqueFileHandle copy(CreateFileW(compressed.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      0, nullptr));
    if (!copy) return LastErrorResult();
    result = WriteCompressedCopy(copy.Get(), data, size);
  }
  if (SUCCEEDED(result)) result = ExpandFile(compressed, expanded);
  if (SUCCEEDED(result)) {
    StampFileTime(expanded, row.fileTime);
    expandedPath = expanded;
  }
  // Once made, the compressed copy never outlives the extraction.
  DeleteFileW(compressed.c_str());
  return result;
}
