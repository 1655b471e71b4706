#include "records/version_file.h"

#include <windows.h>

#include "base/trace.h"
#include "base/win32_raii.h"
#include "applicability/installed_product.h"
#include "records/portable/version_file_text.h"
#include "records/version_records.h"

namespace {

RecordTime LocalTimeNow() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return RecordTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool WriteWhole(HANDLE file, const std::string& content) {
  const DWORD size = static_cast<DWORD>(content.size());
  DWORD written = 0;
  return WriteFile(file, content.data(), size, &written, nullptr) && written == size && FlushFileBuffers(file);
}

// Writes over the file itself, for a file that cannot be replaced but may be
// written (a reader holds it without delete sharing).
bool WriteInPlace(const std::wstring& path, const std::string& content) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && WriteWhole(file.Get(), content);
}

// The new content goes into "<path>.new" beside the file and replaces it only
// once complete, flushed and closed. Writing over the file itself would leave
// the product without a readable version when the write fails half-way (disk
// full, a crash), and later updates would then refuse to run. A file that
// cannot be replaced (read-only, or held without delete sharing) is written
// in place instead, once the complete content is known to fit beside it.
bool ReplaceFileContent(const std::wstring& path, const std::string& content) {
  const std::wstring fresh = path + L".new";
  bool complete = false;
  {
    // No sharing while it is written, like the runtime's secure opening for writing.
    UniqueFileHandle file(
        CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    complete = WriteWhole(file.Get(), content);
  }
  if (!complete) {
    DeleteFileW(fresh.c_str());
    return false;
  }
  // The file keeps its attributes; read-only would refuse the replacement.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (readOnly) SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  bool replaced = MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  if (!replaced) {
    DeleteFileW(fresh.c_str());
    replaced = WriteInPlace(path, content);
  }
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(path.c_str(), attributes);
  return replaced;
}

}  // namespace

bool ReadVersionFileLines(const std::wstring& path, std::vector<std::wstring>& lines) {
  lines.clear();
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  std::string content;
  char chunk[4096];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr)) return false;
    if (read == 0) break;
    content.append(chunk, read);
  }
  lines = SplitVersionFileLines(content);
  return true;
}

bool RewriteVersionFile(const std::wstring& path, const std::vector<std::wstring>& oldLines,
                        const wchar_t* productDescription, const wchar_t* version) {
  const std::string content = ComposeVersionFile(oldLines, productDescription ? productDescription : L"",
                                                 version ? version : L"", LocalTimeNow());
  return ReplaceFileContent(path, content);
}

bool WriteVersionFile(const wchar_t* productDescription, const wchar_t* version) {
  const std::wstring path = GetVersionFilePath();
  std::vector<std::wstring> lines;
  if (!ReadVersionFileLines(path, lines)) {
    Trace(L"record: version file %ls could not be read; left as it is", path.c_str());
    return false;
  }
  if (RecordsUpdateTo(lines, version ? version : L"")) {
    Trace(L"record: version file %ls already records this update", path.c_str());
    return true;
  }
  const bool written = RewriteVersionFile(path, lines, productDescription, version);
  Trace(L"record: version file %ls %ls", path.c_str(), written ? L"written" : L"could be neither replaced nor written");
  return written;
}
