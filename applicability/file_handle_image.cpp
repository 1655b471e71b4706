#include "applicability/file_handle_image.h"

bool FileHandleImage::Open(const wchar_t* path) {
  file_.Reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file_ || !GetFileSizeEx(file_.Get(), &size) || size.QuadPart < 0) {
    file_.Reset();
    size_ = 0;
    return false;
  }
  size_ = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

bool FileHandleImage::ReadAt(std::uint64_t offset, void* out, std::size_t size) {
  const DWORD count = static_cast<DWORD>(size);
  if (!file_ || !RangeFits(offset, size, size_) || count != size) return false;
  if (count == 0) return true;
  // The offset goes with each read, so the handle's own position is never used.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  return ReadFile(file_.Get(), out, count, &read, &at) && read == count;
}
