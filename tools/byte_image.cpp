#include "tools/byte_image.h"

#include <algorithm>
#include <cstring>
#include <limits>

bool FileImage::Open(const std::string& path) {
  file_.open(path, std::ios::binary);
  if (!file_) return false;
  file_.seekg(0, std::ios::end);
  const std::streamoff end = file_.tellg();
  if (!file_ || end < 0) return false;
  size_ = static_cast<std::uint64_t>(end);
  return true;
}

bool FileImage::ReadAt(std::uint64_t offset, void* out, std::size_t size) {
  if (!RangeFits(offset, size, size_)) return false;
  if (size == 0) return true;
  file_.clear();
  file_.seekg(static_cast<std::streamoff>(offset));
  file_.read(static_cast<char*>(out), static_cast<std::streamsize>(size));
  return static_cast<std::size_t>(file_.gcount()) == size;
}

bool MemoryImage::ReadAt(std::uint64_t offset, void* out, std::size_t size) {
  if (!RangeFits(offset, size, bytes_.size())) return false;
  if (size != 0) std::memcpy(out, bytes_.data() + offset, size);
  return true;
}

std::ptrdiff_t ImageRangeSource::Read(std::uint8_t* buffer, std::size_t capacity) {
  const std::size_t count = static_cast<std::size_t>(
      std::min<std::uint64_t>({remaining_, capacity,
                               static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max())}));
  if (count == 0) return 0;
  if (!image_.ReadAt(offset_, buffer, count)) return -1;
  offset_ += count;
  remaining_ -= count;
  return static_cast<std::ptrdiff_t>(count);
}
