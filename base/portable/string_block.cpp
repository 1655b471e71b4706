#include "base/portable/string_block.h"

std::optional<StringSpan> FindStringInBlock(const uint16_t* units, size_t unitCount, unsigned index) {
  if (units == nullptr || index > 15) return std::nullopt;
  size_t pos = 0;
  for (unsigned i = 0; i < index; ++i) {
    if (pos >= unitCount) return std::nullopt;
    pos += size_t{units[pos]} + 1;  // skip the length unit and the characters
  }
  if (pos >= unitCount) return std::nullopt;
  const size_t length = units[pos];
  if (length == 0 || length > unitCount - pos - 1) return std::nullopt;
  return StringSpan{pos + 1, length};
}
