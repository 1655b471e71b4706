// The parts of a VERSIONINFO resource that a release check reports (the
// fixed file and product versions and the languages of the translation
// table), and the fixed file information that the updater compares.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct Translation {
  std::uint16_t language = 0;
  std::uint16_t codePage = 0;
};

struct VersionInfo {
  std::array<std::uint16_t, 4> fileVersion{};
  std::array<std::uint16_t, 4> productVersion{};
  std::vector<Translation> translations;  // empty when there is no table
};

// Parses the resource's bytes. False, with `error` set to a sentence, when
// the data is not a well-formed VS_VERSIONINFO.
bool ParseVersionInfo(const std::vector<std::uint8_t>& data, VersionInfo& info, std::string& error);

// "a.b.c.d".
std::string VersionText(const std::array<std::uint16_t, 4>& fields);

// The bytes of a VS_FIXEDFILEINFO.
inline constexpr std::size_t kFixedFileInfoSize = 52;
using FixedFileInfoBytes = std::array<std::uint8_t, kFixedFileInfoSize>;

// The root value of the resource's bytes as VerQueryValueW(block, L"\\")
// gives it: the root's key is VS_VERSION_INFO and its value (at the 32-bit
// boundary after the key) holds at least 52 bytes, which are taken whatever
// they hold; the signature is not checked. False when the bytes are not such
// a root.
bool ReadFixedFileInfo(const std::vector<std::uint8_t>& data, FixedFileInfoBytes& info);

// The text `key` of the string table `table` (language and code page as eight
// hex digits, "040904b0") below StringFileInfo, found as VerQueryValueW finds
// it: names compared without regard to ASCII case, the text taken up to its
// first NUL. False when there is no such text or a node on the way to it is
// malformed.
bool FindVersionText(const std::vector<std::uint8_t>& data, std::string_view table, std::string_view key,
                     std::u16string& text);
