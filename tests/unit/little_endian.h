// Byte images for tests that build PE images and their parts by hand:
// little-endian stores, and patterned bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = v >> 8;
}

inline void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// Bytes that differ from their neighbours, so that a value taken from the
// wrong place shows.
inline Bytes Pattern(std::size_t size) {
  Bytes b(size);
  for (std::size_t k = 0; k < size; ++k) b[k] = static_cast<std::uint8_t>(k * 7 + 3);
  return b;
}
