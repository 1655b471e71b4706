// Compression into SZDD files of compression mode "A" (see
// payload/portable/szdd_expander.h for the layout), with no left-out file-name
// character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace szdd {

// Compresses `size` bytes at `data` into a complete SZDD file, header
// included. Inputs of 4 GiB or more do not fit the header's length field and
// throw std::length_error.
//
// The parse is optimal for the format's costs (a literal 9 bits, a reference
// 17 bits, flag bits included) within blocks of 1 MiB: every position gets its
// longest match over the last 4095 bytes, the ring's initial spaces included,
// and a backward pass picks the cheapest sequence of literals and references.
std::vector<std::uint8_t> Pack(const std::uint8_t* data, std::size_t size);

}  // namespace szdd
