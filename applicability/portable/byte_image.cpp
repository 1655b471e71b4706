#include "applicability/portable/byte_image.h"

#include <algorithm>
#include <cstring>
#include <limits>

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
