#include "records/version_file.h"

#include <windows.h>

#include "app/win32_raii.h"
#include "applicability/installed_product.h"
#include "records/version_file_text.h"
#include "records/version_records.h"

namespace {

RecordTime LocalTimeNow() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return RecordTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

// The new content goes into "<path>.new" beside the file and replaces it only
// once complete, flushed and closed. Writing over the file itself would leave
// the product without a readable version when the write fails half-way (disk
// full, a crash), and later updates would then refuse to run.
bool ReplaceFileContent(const std::wstring& path, const std::string& content) {
  const std::wstring fresh = path + L".new";
  bool complete = false;
  {
    // No sharing while it is written, like the runtime's secure opening for writing.
    UniqueFileHandle file(
        CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const DWORD size = static_cast<DWORD>(content.size());
    DWORD written = 0;
    complete = WriteFile(file.Get(), content.data(), size, &written, nullptr) && written == size &&
               FlushFileBuffers(file.Get());
  }
  if (complete && MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(fresh.c_str());
  return false;
}

}  // namespace

std::vector<std::wstring> ReadVersionFileLines(const std::wstring& path) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  std::string content;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr) && read > 0) content.append(chunk, read);
  return SplitVersionFileLines(content);
}

bool RewriteVersionFile(const std::wstring& path, const std::vector<std::wstring>& oldLines,
                        const wchar_t* productDescription, const wchar_t* version) {
  const std::string content = ComposeVersionFile(oldLines, productDescription ? productDescription : L"",
                                                 version ? version : L"", LocalTimeNow());
  return ReplaceFileContent(path, content);
}

void WriteVersionFile(const wchar_t* productDescription, const wchar_t* version) {
  const std::wstring path = GetVersionFilePath();
  RewriteVersionFile(path, ReadVersionFileLines(path), productDescription, version);
}
