// PE32 images built by hand for the readers' tests: the headers and one
// section, at RVA 0x1000 and file offset 0x200, holding a resource tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/unit/little_endian.h"

namespace pe_test {

constexpr std::size_t kOptional = 0x58;
constexpr std::size_t kSectionTable = kOptional + 0xE0;
constexpr std::size_t kRsrc = 0x200;
constexpr std::uint32_t kRsrcRva = 0x1000;
constexpr std::uint32_t kSubdirectory = 0x80000000u;

// An image of kRsrc + rsrcSize bytes: the headers, and the resource section
// filled with zeros.
Bytes ImageHeaders(std::size_t rsrcSize);

// A resource section put together from the leaves up. The root directory,
// which the format puts at the start, has its room kept there and is written
// last.
class ResourceSection {
 public:
  using Entries = std::vector<std::pair<std::uint32_t, std::uint32_t>>;  // name field, target

  explicit ResourceSection(std::size_t rootEntries);
  // The data, and its data entry; returns the entry's offset.
  std::uint32_t Leaf(const std::string& data);
  // A directory of the given entries; returns its offset with the top bit set,
  // as an entry that points at it holds it.
  std::uint32_t Directory(const Entries& entries);
  void Root(const Entries& entries);
  // The whole image.
  Bytes Image() const;

 private:
  void WriteDirectory(std::size_t at, const Entries& entries);
  std::size_t rootEntries_;
  Bytes bytes_;
};

}  // namespace pe_test
