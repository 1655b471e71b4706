#include "payload/portable/szdd_stdio.h"

namespace szdd {

std::ptrdiff_t FileSource::Read(std::uint8_t* buffer, std::size_t capacity) {
  const std::size_t got = std::fread(buffer, 1, capacity, file_);
  if (got == 0 && std::ferror(file_)) return -1;
  return static_cast<std::ptrdiff_t>(got);
}

bool FileSink::Write(const std::uint8_t* data, std::size_t size) {
  return std::fwrite(data, 1, size, file_) == size;
}

}  // namespace szdd
