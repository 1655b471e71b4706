#include "tests/unit/pe_test_image.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace pe_test {

Bytes ImageHeaders(std::size_t rsrcSize) {
  Bytes b(kRsrc + rsrcSize, 0);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, 0x40);
  std::memcpy(&b[0x40], "PE\0\0", 4);
  Put16(b, 0x44, 0x14C);  // i386
  Put16(b, 0x46, 1);      // one section
  Put16(b, 0x54, 0xE0);   // optional header size
  Put16(b, kOptional, 0x10B);
  Put32(b, kOptional + 92, 16);  // data directories
  Put32(b, kOptional + 96 + 16, kRsrcRva);
  Put32(b, kOptional + 96 + 20, static_cast<std::uint32_t>(rsrcSize));
  Put32(b, kSectionTable + 8, static_cast<std::uint32_t>(rsrcSize));
  Put32(b, kSectionTable + 12, kRsrcRva);
  Put32(b, kSectionTable + 16, static_cast<std::uint32_t>(rsrcSize));
  Put32(b, kSectionTable + 20, kRsrc);
  return b;
}

ResourceSection::ResourceSection(std::size_t rootEntries)
    : rootEntries_(rootEntries), bytes_(16 + 8 * rootEntries, 0) {}

std::uint32_t ResourceSection::Leaf(const std::string& data) {
  const std::size_t entry = bytes_.size();
  bytes_.resize(entry + 16, 0);
  Put32(bytes_, entry, kRsrcRva + static_cast<std::uint32_t>(bytes_.size()));
  Put32(bytes_, entry + 4, static_cast<std::uint32_t>(data.size()));
  bytes_.insert(bytes_.end(), data.begin(), data.end());
  bytes_.resize((bytes_.size() + 3) & ~std::size_t{3}, 0);
  return static_cast<std::uint32_t>(entry);
}

std::uint32_t ResourceSection::Directory(const Entries& entries) {
  const std::size_t at = bytes_.size();
  bytes_.resize(at + 16 + 8 * entries.size(), 0);
  WriteDirectory(at, entries);
  return kSubdirectory | static_cast<std::uint32_t>(at);
}

void ResourceSection::Root(const Entries& entries) {
  if (entries.size() != rootEntries_) throw std::logic_error("the root's room was kept for another count");
  WriteDirectory(0, entries);
}

Bytes ResourceSection::Image() const {
  Bytes image = ImageHeaders(bytes_.size());
  std::copy(bytes_.begin(), bytes_.end(), image.begin() + kRsrc);
  return image;
}

void ResourceSection::WriteDirectory(std::size_t at, const Entries& entries) {
  Put16(bytes_, at + 14, static_cast<std::uint16_t>(entries.size()));
  for (std::size_t k = 0; k < entries.size(); ++k) {
    Put32(bytes_, at + 16 + 8 * k, entries[k].first);
    Put32(bytes_, at + 20 + 8 * k, entries[k].second);
  }
}

}  // namespace pe_test
