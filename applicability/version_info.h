// The parts of a VERSIONINFO resource that a release check reports (the
// fixed file and product versions and the languages of the translation
// table), and the fixed file information that the updater compares.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
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
