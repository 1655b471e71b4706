#include "payload/portable/folder_table.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const wchar_t* const kExpectedSubFolders[] = {
    L"",        L"\\CHS",   L"\\CHT", L"\\default", L"\\DEU", L"\\en_US", L"\\ENG", L"\\ESP",
    L"\\FRA",   L"\\ITA",   L"\\ja_JP", L"\\JPN",  L"\\KOR", L"\\NLD",   L"\\POL", L"\\PTB",
    L"\\RUS",   L"\\Themes", L"\\zh_CN", L"\\zh_TW",
    L"",        L"\\CHS",   L"\\CHT", L"\\ESP",    L"\\Extension", L"\\FRA", L"\\GER", L"\\HOL",
    L"\\IE",    L"\\ITA",   L"\\JP",  L"\\KOR",    L"\\POL", L"\\PTB",   L"\\RUS", L"\\Orvane.Velk",
    L"\\UK",    L"\\US",
};

TEST(FolderTable, ThirtyEightCodesInOrder) {
  const std::vector<FolderEntry>& table = FolderTable();
  ASSERT_EQ(table.size(), static_cast<size_t>(kFolderCount));
  ASSERT_EQ(std::size(kExpectedSubFolders), table.size());
  for (size_t row = 0; row < table.size(); ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(table[row].on32, 1);
    EXPECT_EQ(table[row].on64, 1);
    EXPECT_EQ(table[row].folderCode, static_cast<int32_t>(row));
    EXPECT_EQ(table[row].subFolder, kExpectedSubFolders[row]);
  }
}

TEST(FolderTable, PrefixingByBaseFolderLeavesTheCompiledTableAlone) {
  const std::wstring app = L"C:\\Program Files (x86)\\Orvane\\Mirevo";
  const std::wstring shared = L"C:\\Program Files (x86)\\Common Files\\Orvane Shared\\QVLLib";
  const std::vector<FolderEntry> prefixed = PrefixedFolderTable(app, shared);
  ASSERT_EQ(prefixed.size(), FolderTable().size());
  for (size_t row = 0; row < prefixed.size(); ++row) {
    SCOPED_TRACE(row);
    const std::wstring& base = row < 20 ? app : shared;
    EXPECT_EQ(prefixed[row].subFolder, base + kExpectedSubFolders[row]);
    EXPECT_EQ(prefixed[row].folderCode, static_cast<int32_t>(row));
    EXPECT_EQ(FolderTable()[row].subFolder, kExpectedSubFolders[row]);
  }
  EXPECT_EQ(prefixed[0].subFolder, app);
  EXPECT_EQ(prefixed[19].subFolder, app + L"\\zh_TW");
  EXPECT_EQ(prefixed[20].subFolder, shared);
  EXPECT_EQ(prefixed[35].subFolder, shared + L"\\Orvane.Velk");
}

// A local path of exactly `length` characters.
std::wstring LocalPath(size_t length) {
  std::wstring path = L"C:\\Program Files\\Orvane\\Mirevo\\";
  path.append(length - path.size() - 4, L'a');
  return path + L".dll";
}

// A network path of exactly `length` characters.
std::wstring NetworkPath(size_t length) {
  std::wstring path = L"\\\\server\\share\\";
  path.append(length - path.size(), L'b');
  return path;
}

TEST(ToLongPath, ShortPathsStayAsTheyAre) {
  EXPECT_EQ(ToLongPath(L""), L"");
  EXPECT_EQ(ToLongPath(L"C:\\x.dll"), L"C:\\x.dll");
  EXPECT_EQ(ToLongPath(LocalPath(259)), LocalPath(259));
  EXPECT_EQ(ToLongPath(NetworkPath(259)), NetworkPath(259));
}

TEST(ToLongPath, PathsOf260CharactersOrMoreGainThePrefix) {
  EXPECT_EQ(ToLongPath(LocalPath(260)), L"\\\\?\\" + LocalPath(260));
  EXPECT_EQ(ToLongPath(LocalPath(400)), L"\\\\?\\" + LocalPath(400));
  // A network path: UNC in place of its first backslash.
  EXPECT_EQ(ToLongPath(NetworkPath(260)), L"\\\\?\\UNC" + NetworkPath(260).substr(1));
  EXPECT_EQ(ToLongPath(NetworkPath(260)).substr(0, 16), L"\\\\?\\UNC\\server\\s");
  // A single leading backslash is not a network path.
  const std::wstring rooted = L"\\" + std::wstring(259, L'c');
  EXPECT_EQ(ToLongPath(rooted), L"\\\\?\\" + rooted);
}

TEST(ToLongPath, AlreadyPrefixedPathsStayAsTheyAre) {
  const std::wstring local = L"\\\\?\\" + LocalPath(300);
  EXPECT_EQ(ToLongPath(local), local);
  const std::wstring network = L"\\\\?\\UNC" + NetworkPath(300).substr(1);
  EXPECT_EQ(ToLongPath(network), network);
  EXPECT_EQ(ToLongPath(ToLongPath(NetworkPath(300))), ToLongPath(NetworkPath(300)));
}

}  // namespace
