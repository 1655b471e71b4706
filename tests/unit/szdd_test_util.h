// Helpers of the SZDD tests: temporary files, Debian's mscompress/msexpand
// and sample data of various shapes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "payload/portable/szdd_expander.h"

namespace szdd_test {

using Bytes = std::vector<std::uint8_t>;

// A directory under the system's temporary folder, removed with its files.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

bool WriteFile(const std::string& path, const Bytes& data);
bool ReadFile(const std::string& path, Bytes& data);

// Whether a program is on the PATH.
bool HaveProgram(const char* name);

// Compresses `data` with Debian's mscompress; false when that fails.
bool MsCompress(const TempDir& dir, const Bytes& data, Bytes& packed);
// Expands `packed` with Debian's msexpand; false when that fails.
bool MsExpand(const TempDir& dir, const Bytes& packed, Bytes& expanded);

// Expands in memory with our expander.
szdd::ExpandStatus ExpandBytes(const Bytes& packed, Bytes& expanded);

// `unit` repeated, cut to `size` bytes.
Bytes Repeat(const Bytes& unit, std::size_t size);

// Sample data, reproducible from `seed`.
Bytes RandomBytes(std::size_t size, std::uint32_t seed);
Bytes TextLike(std::size_t size, std::uint32_t seed);
// Machine-code-like data: short opcodes, small immediates, repeated stubs,
// zero-filled tables and some random bytes.
Bytes ProgramLike(std::size_t size, std::uint32_t seed);

// An SZDD header of mode "A" for `length` expanded bytes.
Bytes Header(std::uint32_t length);

}  // namespace szdd_test
