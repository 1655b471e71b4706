// A file on disk as a ByteImage, for the build machine's tools (narrow path,
// standard streams).
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "applicability/portable/byte_image.h"

class FileImage : public ByteImage {
 public:
  // False when the file cannot be opened or its size cannot be found.
  bool Open(const std::string& path);
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, void* out, std::size_t size) override;

 private:
  std::ifstream file_;
  std::uint64_t size_ = 0;
};
