// One Unicode code point as UTF-8.
#pragma once
#include <cstdint>
#include <string>

// Appends `code` to `out` in UTF-8; a value beyond U+10FFFF becomes U+FFFD.
void AppendUtf8(std::string& out, std::uint32_t code);
