// Random access to the bytes of a file under inspection. Readers of program
// images take them piece by piece instead of loading them whole (the release
// check reads an 85 MB program, the updater only the headers and version of
// installed files), and every read is checked against the image's size by the
// caller or here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "payload/portable/szdd_expander.h"

class ByteImage {
 public:
  virtual ~ByteImage() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads exactly `size` bytes at `offset`; false when they are not all there
  // or the read failed.
  virtual bool ReadAt(std::uint64_t offset, void* out, std::size_t size) = 0;
};

// Bytes in memory, for tests.
class MemoryImage : public ByteImage {
 public:
  explicit MemoryImage(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, void* out, std::size_t size) override;

 private:
  std::vector<std::uint8_t> bytes_;
};

// True when [offset, offset + size) lies inside `total` bytes, without
// overflowing.
inline bool RangeFits(std::uint64_t offset, std::uint64_t size, std::uint64_t total) {
  return offset <= total && size <= total - offset;
}

// The bytes of one range of an image as a source for the SZDD expander, so
// that a resource is expanded without being loaded first.
class ImageRangeSource : public szdd::ByteSource {
 public:
  ImageRangeSource(ByteImage& image, std::uint64_t offset, std::uint64_t size)
      : image_(image), offset_(offset), remaining_(size) {}
  std::ptrdiff_t Read(std::uint8_t* buffer, std::size_t capacity) override;

 private:
  ByteImage& image_;
  std::uint64_t offset_;
  std::uint64_t remaining_;
};
