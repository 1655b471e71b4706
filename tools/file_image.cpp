#include "tools/file_image.h"

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
