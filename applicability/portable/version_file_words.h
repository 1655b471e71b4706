// The two values that the product's version file gives: the installed version
// (its first word) and the version entry (the rest of the first later word
// that begins with "Version=").
#pragma once
#include <string>
#include <string_view>

struct VersionFileValues {
  std::wstring installedVersion;
  std::wstring versionEntry;
};

// Words are separated by white space and hold at most 49 characters; a longer
// word is never taken (a long first word leaves the installed version empty,
// and a long later word is passed over). Bytes map to the characters of the
// same value.
VersionFileValues ParseVersionFileWords(std::string_view content);
