// Small reads of another image served from one window of it held in memory.
// Walking a PE image's headers and resource tree reads a few bytes at a time,
// mostly close together; through this the file is read a few times instead of
// once per field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "applicability/portable/byte_image.h"

class CachedImage : public ByteImage {
 public:
  // Reads of up to `blockSize` bytes come from the window; larger ones go to
  // `source` as they are.
  explicit CachedImage(ByteImage& source, std::size_t blockSize = 4096)
      : source_(source), blockSize_(blockSize > 0 ? blockSize : 1) {}
  std::uint64_t Size() const override { return source_.Size(); }
  bool ReadAt(std::uint64_t offset, void* out, std::size_t size) override;

 private:
  ByteImage& source_;
  std::size_t blockSize_;
  std::uint64_t windowStart_ = 0;
  std::vector<std::uint8_t> window_;
};
