#include "applicability/portable/version_file_words.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(VersionFileWords, VersionAndEntryFromAnInstallerFile) {
  const auto v = ParseVersionFileWords("2.0.1.12040\r\nVersion=2.0.1.12040\r\nUpdateCount=1\r\n");
  EXPECT_EQ(v.installedVersion, L"2.0.1.12040");
  EXPECT_EQ(v.versionEntry, L"2.0.1.12040");
}

TEST(VersionFileWords, FirstEntryWinsAndWordsMayShareALine) {
  const auto v = ParseVersionFileWords("  2.1.0.1 note Version=A\tVersion=B\n");
  EXPECT_EQ(v.installedVersion, L"2.1.0.1");
  EXPECT_EQ(v.versionEntry, L"A");
}

TEST(VersionFileWords, EntryMustBeginTheWordWithExactCase) {
  EXPECT_EQ(ParseVersionFileWords("2.0 xVersion=1 version=2").versionEntry, L"");
  // The first word itself is never the entry.
  EXPECT_EQ(ParseVersionFileWords("Version=3").versionEntry, L"");
  const auto bare = ParseVersionFileWords("2.0\nVersion=\n");
  EXPECT_EQ(bare.installedVersion, L"2.0");
  EXPECT_EQ(bare.versionEntry, L"");
}

TEST(VersionFileWords, EmptyAndBlankFiles) {
  EXPECT_EQ(ParseVersionFileWords("").installedVersion, L"");
  EXPECT_EQ(ParseVersionFileWords(" \r\n\t ").installedVersion, L"");
}

TEST(VersionFileWords, OverlongWordsAreNotTaken) {
  const std::string fortyNine(49, '9');
  EXPECT_EQ(ParseVersionFileWords(fortyNine + " Version=x").installedVersion.size(), 49u);
  const auto longFirst = ParseVersionFileWords(std::string(50, '9') + " Version=x");
  EXPECT_EQ(longFirst.installedVersion, L"");
  EXPECT_EQ(longFirst.versionEntry, L"x");
  const auto longEntry = ParseVersionFileWords("2.0 Version=" + std::string(45, 'a') + " Version=ok");
  EXPECT_EQ(longEntry.versionEntry, L"ok");
}

TEST(VersionFileWords, BytesMapToTheSameCharacterValues) {
  const auto v = ParseVersionFileWords("2.0\xE9 Version=\xFF");
  EXPECT_EQ(v.installedVersion, std::wstring(L"2.0\u00E9"));
  EXPECT_EQ(v.versionEntry, std::wstring(L"\u00FF"));
}

}  // namespace
