#include "payload/portable/install_selection.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "applicability/portable/storyloom_rule.h"
#include "payload/portable/patch_file_table.h"

namespace {

// A PC described by its files: path -> version (none: no version resource),
// and its companion edition, judged by the product's own variant rule.
class FakePc : public InstalledFileProbe {
 public:
  std::map<std::wstring, std::optional<FileVersion16>> files;
  std::set<std::wstring> folders;
  bool modernEdition = true;

  bool IsFile(const std::wstring& path) const override { return files.count(path) != 0; }
  std::optional<FileVersion16> Version(const std::wstring& path) const override { return files.at(path); }
  bool PassesVariant(int32_t id) const override { return PassesStoryloomVariantRule(id, modernEdition); }
};

const std::wstring kApp = L"C:\\Program Files (x86)\\Orvane\\Mirevo";
const std::wstring kShared = L"C:\\Program Files (x86)\\Common Files\\Orvane Shared\\QVLLib";

PatchFileEntry Row(int32_t id, int32_t folder, const wchar_t* name, FileVersion16 min, FileVersion16 max,
                   bool on32 = true, bool on64 = true) {
  PatchFileEntry row;
  row.on32 = on32;
  row.on64 = on64;
  row.folderCode = folder;
  row.resourceId = id;
  row.fileName = name;
  row.minVersion = min;
  row.maxVersion = max;
  return row;
}

TEST(VersionWindow, BoundsAreInclusive) {
  const FileVersion16 min{0, 0, 0, 0}, max{2, 1, 3, 65535};
  EXPECT_TRUE(VersionInWindow({2, 1, 3, 65535}, min, max));
  EXPECT_TRUE(VersionInWindow({0, 0, 0, 0}, min, max));
  EXPECT_FALSE(VersionInWindow({2, 1, 4, 0}, min, max));
  EXPECT_FALSE(VersionInWindow({3, 0, 0, 0}, min, max));
  EXPECT_TRUE(VersionInWindow({1, 9, 65535, 65535}, min, max));  // major decides first
  const FileVersion16 exact{1, 0, 0, 0};
  EXPECT_TRUE(VersionInWindow({1, 0, 0, 0}, exact, exact));
  EXPECT_FALSE(VersionInWindow({1, 0, 0, 1}, exact, exact));
  EXPECT_FALSE(VersionInWindow({0, 9, 9, 9}, exact, exact));
}

TEST(DestinationFolder, FirstNonEmptyMatchWithTheBackslash) {
  const auto folders = PrefixedFolderTable(kApp, kShared);
  EXPECT_EQ(DestinationFolder(folders, 0, true), kApp + L"\\");
  EXPECT_EQ(DestinationFolder(folders, 6, false), kApp + L"\\ENG\\");
  EXPECT_EQ(DestinationFolder(folders, 35, true), kShared + L"\\Orvane.Velk\\");
  EXPECT_EQ(DestinationFolder(folders, 99, true), L"");
  // A row without the platform's flag is passed over.
  std::vector<FolderEntry> two = {{1, 0, 5, L"C:\\only32"}, {0, 1, 5, L"C:\\only64\\"}};
  EXPECT_EQ(DestinationFolder(two, 5, false), L"C:\\only32\\");
  EXPECT_EQ(DestinationFolder(two, 5, true), L"C:\\only64\\");
  // Unprefixed code 0 is empty: no folder at all.
  EXPECT_EQ(DestinationFolder(FolderTable(), 0, true), L"");
}

TEST(SelectInstallRows, InstalledVersionsAgainstTheirWindows) {
  const auto folders = PrefixedFolderTable(kApp, kShared);
  const std::vector<PatchFileEntry> table = {
      Row(401, 0, L"at-max.dll", {0, 0, 0, 0}, {2, 1, 3, 65535}),
      Row(402, 0, L"above-max.dll", {0, 0, 0, 0}, {2, 1, 3, 65535}),
      Row(403, 0, L"no-version.dll", {0, 0, 0, 0}, {1, 0, 0, 0}),
      Row(404, 0, L"missing.dll", {0, 0, 0, 0}, {9, 0, 0, 0}),
      Row(405, 20, L"exact.dll", {1, 0, 0, 0}, {1, 0, 0, 0}),
      Row(406, 20, L"below-exact.dll", {1, 0, 0, 0}, {1, 0, 0, 0}),
  };
  FakePc pc;
  pc.files[kApp + L"\\at-max.dll"] = FileVersion16{2, 1, 3, 65535};
  pc.files[kApp + L"\\above-max.dll"] = FileVersion16{2, 1, 4, 0};
  pc.files[kApp + L"\\no-version.dll"] = std::nullopt;
  pc.files[kShared + L"\\exact.dll"] = FileVersion16{1, 0, 0, 0};
  pc.files[kShared + L"\\below-exact.dll"] = FileVersion16{0, 9, 0, 0};
  InstallList list;
  EXPECT_EQ(SelectInstallRows(table, folders, true, pc, list), 3);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].fileName, kApp + L"\\at-max.dll");
  EXPECT_EQ(list[0].resourceId, 401);
  EXPECT_EQ(list[1].fileName, kApp + L"\\no-version.dll");
  EXPECT_EQ(list[2].fileName, kShared + L"\\exact.dll");
  EXPECT_EQ(list[2].folderCode, 20);
}

TEST(SelectInstallRows, NothingSelectedIsMinusOne) {
  FakePc pc;
  InstallList list;
  EXPECT_EQ(SelectInstallRows(PatchFileTable(), PrefixedFolderTable(kApp, kShared), true, pc, list), -1);
  EXPECT_TRUE(list.empty());
}

TEST(SelectInstallRows, PlatformFlagsOfTheRows) {
  const auto folders = PrefixedFolderTable(kApp, kShared);
  const std::vector<PatchFileEntry> table = {Row(401, 0, L"only32.dll", {}, {9, 0, 0, 0}, true, false),
                                             Row(402, 0, L"only64.dll", {}, {9, 0, 0, 0}, false, true)};
  FakePc pc;
  pc.files[kApp + L"\\only32.dll"] = std::nullopt;
  pc.files[kApp + L"\\only64.dll"] = std::nullopt;
  InstallList on32, on64;
  EXPECT_EQ(SelectInstallRows(table, folders, false, pc, on32), 1);
  EXPECT_EQ(on32[0].fileName, kApp + L"\\only32.dll");
  EXPECT_EQ(SelectInstallRows(table, folders, true, pc, on64), 1);
  EXPECT_EQ(on64[0].fileName, kApp + L"\\only64.dll");
}

TEST(SelectInstallRows, LongDestinationsTakeTheLongPathForm) {
  const std::wstring deep = L"C:\\" + std::wstring(250, L'd');
  const std::vector<FolderEntry> folders = {{1, 1, 0, deep}};
  FakePc pc;
  const std::wstring longPath = L"\\\\?\\" + deep + L"\\core-ui.dll";
  pc.files[longPath] = std::nullopt;
  InstallList list;
  EXPECT_EQ(SelectInstallRows({Row(401, 0, L"core-ui.dll", {}, {2, 1, 3, 65535})}, folders, true, pc, list), 1);
  EXPECT_EQ(list[0].fileName, longPath);
}

TEST(SelectInstallRows, WholeTableOnAnInstalledPcFollowsTheEdition) {
  // Every file of the table installed without a version resource: each row
  // applies but the 13 of the other edition's variant group.
  const std::set<int32_t> modernGroup = {499, 500, 501, 502, 503, 504, 505, 506, 507, 508, 509, 510, 511};
  const std::set<int32_t> oldGroup = {512, 513, 514, 515, 516, 517, 518, 519, 520, 521, 522, 523, 524};
  const auto folders = PrefixedFolderTable(kApp, kShared);
  FakePc pc;
  std::set<int32_t> allIds;
  for (const PatchFileEntry& row : PatchFileTable()) {
    pc.files[DestinationFolder(folders, row.folderCode, true) + row.fileName] = std::nullopt;
    allIds.insert(row.resourceId);
  }
  for (bool modern : {true, false}) {
    SCOPED_TRACE(modern ? "modern edition" : "old edition");
    pc.modernEdition = modern;
    InstallList list;
    EXPECT_EQ(SelectInstallRows(PatchFileTable(), folders, true, pc, list), 161 - 13);
    std::set<int32_t> expected = allIds;
    for (int32_t id : modern ? oldGroup : modernGroup) expected.erase(id);
    std::set<int32_t> selected;
    for (const PatchFileEntry& row : list) selected.insert(row.resourceId);
    EXPECT_EQ(selected, expected);
  }
}

}  // namespace
