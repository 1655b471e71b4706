// Walk of one string-table block: 16 strings, each a 16-bit length followed by
// that many UTF-16 units, no terminator.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

struct StringSpan {
  size_t offset;  // in 16-bit units from the start of the block
  size_t length;  // in 16-bit units
};

// Finds string `index` (0..15) of a block of `unitCount` units. Absent when the
// block ends first, when the string would run past the block, or when it is empty.
std::optional<StringSpan> FindStringInBlock(const uint16_t* units, size_t unitCount, unsigned index);
