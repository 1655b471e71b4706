#include "applicability/portable/cached_image.h"

#include <algorithm>
#include <cstring>

bool CachedImage::ReadAt(std::uint64_t offset, void* out, std::size_t size) {
  if (!RangeFits(offset, size, Size())) return false;
  if (size > blockSize_) return source_.ReadAt(offset, out, size);
  const bool inWindow = offset >= windowStart_ && RangeFits(offset - windowStart_, size, window_.size());
  if (!inWindow) {
    // The window starts at a block boundary and is two blocks long, so that
    // it holds the whole read wherever in its block the read starts.
    const std::uint64_t start = offset - offset % blockSize_;
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(2ull * blockSize_, Size() - start));
    window_.resize(length);
    if (!source_.ReadAt(start, window_.data(), length)) {
      window_.clear();
      return false;
    }
    windowStart_ = start;
  }
  if (size != 0) std::memcpy(out, window_.data() + (offset - windowStart_), size);
  return true;
}
