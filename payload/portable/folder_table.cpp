#include "payload/portable/folder_table.h"

namespace {

constexpr size_t kMaxPath = 260;
constexpr wchar_t kLongPathPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC";

std::vector<FolderEntry> BuildFolderTable() {
  static const wchar_t* const kSubFolders[kFolderCount] = {
      // Under the application folder.
      L"",  // the application folder itself
      L"\\CHS", L"\\CHT", L"\\default", L"\\DEU", L"\\en_US", L"\\ENG", L"\\ESP", L"\\FRA", L"\\ITA",
      L"\\ja_JP", L"\\JPN", L"\\KOR", L"\\NLD", L"\\POL", L"\\PTB", L"\\RUS", L"\\Themes", L"\\zh_CN",
      L"\\zh_TW",
      // Under the shared library folder.
      L"",  // the shared library folder itself
      L"\\CHS", L"\\CHT", L"\\ESP", L"\\Extension", L"\\FRA", L"\\GER", L"\\HOL", L"\\IE", L"\\ITA",
      L"\\JP", L"\\KOR", L"\\POL", L"\\PTB", L"\\RUS", L"\\Orvane.Velk", L"\\UK", L"\\US",
  };
  std::vector<FolderEntry> table;
  table.reserve(kFolderCount);
  for (int32_t code = 0; code < kFolderCount; ++code) table.push_back({1, 1, code, kSubFolders[code]});
  return table;
}

}  // namespace

const std::vector<FolderEntry>& FolderTable() {
  static const std::vector<FolderEntry> table = BuildFolderTable();
  return table;
}

std::vector<FolderEntry> PrefixedFolderTable(const std::wstring& applicationFolder,
                                             const std::wstring& sharedLibraryFolder) {
  std::vector<FolderEntry> table = FolderTable();
  for (size_t row = 0; row < table.size(); ++row) {
    const std::wstring& base = row < static_cast<size_t>(kFirstSharedFolderCode) ? applicationFolder
                                                                                 : sharedLibraryFolder;
    table[row].subFolder.insert(0, base);
  }
  return table;
}

std::wstring LastPathComponent(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring ToLongPath(const std::wstring& path) {
  if (path.size() < kMaxPath || path.compare(0, 4, kLongPathPrefix) == 0) return path;
  if (path.compare(0, 2, L"\\\\") == 0) return kLongUncPrefix + path.substr(1);
  return kLongPathPrefix + path;
}
