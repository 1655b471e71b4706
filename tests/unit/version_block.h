// VS_VERSIONINFO nodes built by hand for the version readers' tests.
#pragma once

#include <cstdint>
#include <string>

#include "tests/unit/little_endian.h"

namespace version_test {

inline void Append16(Bytes& b, std::uint16_t v) {
  b.push_back(v & 0xFF);
  b.push_back(v >> 8);
}

inline void Append32(Bytes& b, std::uint32_t v) {
  Append16(b, v & 0xFFFF);
  Append16(b, v >> 16);
}

inline void Pad4(Bytes& b) {
  while (b.size() % 4) b.push_back(0);
}

// One node: header, key, padding, value, padding, children; its length
// field is filled in at the end.
inline Bytes Node(const std::string& key, const Bytes& value, const Bytes& children) {
  Bytes b;
  Append16(b, 0);
  Append16(b, static_cast<std::uint16_t>(value.size()));
  Append16(b, 0);
  for (char c : key) Append16(b, static_cast<std::uint8_t>(c));
  Append16(b, 0);
  Pad4(b);
  b.insert(b.end(), value.begin(), value.end());
  Pad4(b);
  b.insert(b.end(), children.begin(), children.end());
  b[0] = b.size() & 0xFF;
  b[1] = b.size() >> 8;
  return b;
}

// A text value: type 1, its length in UTF-16 units with the NUL.
inline Bytes TextNode(const std::string& key, const std::u16string& text) {
  Bytes value;
  for (char16_t c : text) Append16(value, c);
  Append16(value, 0);
  Bytes b = Node(key, value, {});
  Put16(b, 2, static_cast<std::uint16_t>(text.size() + 1));
  Put16(b, 4, 1);
  return b;
}

}  // namespace version_test
