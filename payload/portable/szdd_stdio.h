// ByteSource and ByteSink over C standard I/O streams, for tools and tests.
#pragma once

#include <cstdio>

#include "payload/portable/szdd_expander.h"

namespace szdd {

class FileSource : public ByteSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {}
  std::ptrdiff_t Read(std::uint8_t* buffer, std::size_t capacity) override;

 private:
  std::FILE* file_;
};

class FileSink : public ByteSink {
 public:
  explicit FileSink(std::FILE* file) : file_(file) {}
  bool Write(const std::uint8_t* data, std::size_t size) override;

 private:
  std::FILE* file_;
};

}  // namespace szdd
