// printf-style formatting of a catalogue text with one 32-bit code.
#pragma once
#include <cstdint>
#include <string>

// Applies the first conversion of `format` (d, i, u, x, X or o, with flags,
// width and precision) to `code`; "%%" gives "%". Any further conversion, or
// one of another kind, is copied as it stands, so a translated text can never
// read an argument that is not there.
std::wstring FormatWithCode(const std::wstring& format, uint32_t code);
