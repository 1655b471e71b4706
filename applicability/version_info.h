// The parts of a VERSIONINFO resource that a release check reports: the
// fixed file and product versions and the languages of the translation table.
#pragma once

#include <array>
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
