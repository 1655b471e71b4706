#include "payload/expand_file.h"

#include "base/last_error.h"
#include "base/win32_raii.h"

namespace {

class HandleSource : public szdd::ByteSource {
 public:
  explicit HandleSource(HANDLE file) : file_(file) {}
  std::ptrdiff_t Read(std::uint8_t* buffer, std::size_t capacity) override {
    DWORD read = 0;
    if (!ReadFile(file_, buffer, static_cast<DWORD>(capacity), &read, nullptr)) return -1;
    return static_cast<std::ptrdiff_t>(read);
  }

 private:
  HANDLE file_;
};

}  // namespace

bool FileSink::Write(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    DWORD written = 0;
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    if (!WriteFile(file_, data, chunk, &written, nullptr)) {
      failure_ = LastErrorResult();
      return false;
    }
    if (written == 0) {
      failure_ = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

HRESULT ExpandIntoFile(const void* data, size_t size, HANDLE target) {
  szdd::MemorySource in(static_cast<const std::uint8_t*>(data), size);
  FileSink out(target);
  return szdd::Expand(in, out) == szdd::ExpandStatus::kOk ? S_OK : kOpenFailed;
}

HRESULT ExpandFile(const std::wstring& compressed, const std::wstring& expanded) {
  UniqueFileHandle source(
      CreateFileW(compressed.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  UniqueFileHandle target(
      CreateFileW(expanded.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!source || !target) return kOpenFailed;
  HandleSource in(source.Get());
  FileSink out(target.Get());
  return szdd::Expand(in, out) == szdd::ExpandStatus::kOk ? S_OK : kOpenFailed;
}
