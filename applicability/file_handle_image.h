// An installed file opened for reading, as a ByteImage. Files of running
// programs are open elsewhere, perhaps for writing or deletion: the sharing
// allows all of it, as this only reads.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "base/win32_raii.h"
#include "applicability/portable/byte_image.h"

class FileHandleImage : public ByteImage {
 public:
  // False when the path is no file that can be read (missing, a folder,
  // access denied) or its size cannot be found.
  bool Open(const wchar_t* path);
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, void* out, std::size_t size) override;

 private:
  UniqueFileHandle file_;
  std::uint64_t size_ = 0;
};
