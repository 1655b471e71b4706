// Version texts of four numeric parts ("2.2.3.04170") and their comparison.
#pragma once
#include <array>
#include <cstdint>
#include <string>

using VersionParts = std::array<int32_t, 4>;

// Reads four parts as the version comparison does: each of the first three is
// the number before the next "." (the remaining text moves past it); when no
// "." is left the part is read from the remaining text, which then stays, so
// "2.2" reads as 2.2.2.2. A part is a decimal number with optional leading
// blanks and sign, 0 when it has no digit, clamped to the 32-bit range.
VersionParts ParseVersionText(const std::wstring& text);

// 1 when a is greater, -1 when smaller, 0 when equal (parts compared as signed numbers).
int CompareVersions(const std::wstring& a, const std::wstring& b);

// "%d.%d.%d.%05d": the form in which this update writes versions.
std::wstring FormatVersion(uint16_t major, uint16_t minor, uint16_t build, uint16_t revision);

// The four 16-bit fields of a fixed file version (most and least significant double words).
std::wstring FormatFileVersion(uint32_t versionMs, uint32_t versionLs);
