#include "payload/portable/patch_file_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "payload/portable/folder_table.h"

namespace {

const std::vector<PatchFileEntry>& Rows() { return PatchFileTable(); }

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string Extension(const PatchFileEntry& row) {
  const size_t dot = row.fileName.rfind(L'.');
  std::wstring ext = dot == std::wstring::npos ? L"" : row.fileName.substr(dot + 1);
  for (wchar_t& c : ext) c = static_cast<wchar_t>(std::towlower(c));
  return Narrow(ext);
}

std::string VersionText(const FileVersion16& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.build) + "." +
         std::to_string(v.revision);
}

std::string Window(const PatchFileEntry& row) {
  return VersionText(row.minVersion) + ".." + VersionText(row.maxVersion);
}

std::string TimeText(const FileTime16& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.year, t.month, t.day, t.hour,
                t.minute, t.second, t.millisecond);
  return text;
}

const PatchFileEntry& RowById(int32_t id) { return Rows().at(static_cast<size_t>(id - kFirstPatchResourceId)); }

// Folder codes of the rows with this file name, in table order.
std::vector<int32_t> FoldersOf(const std::wstring& name) {
  std::vector<int32_t> folders;
  for (const PatchFileEntry& row : Rows())
    if (row.fileName == name) folders.push_back(row.folderCode);
  return folders;
}

const std::set<int32_t> kHelpFolders = {1, 2, 4, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16};
const std::set<int32_t> kRegionalFolders = {3, 5, 10, 18, 19};

TEST(PatchFileTable, OneRowPerResourceInIdOrderForBothPlatforms) {
  ASSERT_EQ(Rows().size(), kPatchFileCount);
  for (size_t k = 0; k < Rows().size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(Rows()[k].resourceId, 401 + static_cast<int32_t>(k));
    EXPECT_TRUE(Rows()[k].on32);
    EXPECT_TRUE(Rows()[k].on64);
  }
  EXPECT_EQ(Rows().back().resourceId, 561);
}

TEST(PatchFileTable, ExampleRows) {
  const PatchFileEntry& first = RowById(401);
  EXPECT_EQ(first.folderCode, 0);
  EXPECT_EQ(first.fileName, L"core-ui.dll");
  EXPECT_EQ(TimeText(first.fileTime), "2013-09-11 02:00:00.000");
  EXPECT_EQ(Window(first), "0.0.0.0..2.1.3.65535");

  const PatchFileEntry& engine = RowById(470);
  EXPECT_EQ(engine.folderCode, 35);
  EXPECT_EQ(engine.fileName, L"render-engine.dll");
  EXPECT_EQ(TimeText(engine.fileTime), "2013-09-11 02:00:00.000");
  EXPECT_EQ(Window(engine), "0.0.0.0..3.0.2.8159");

  const PatchFileEntry& help = RowById(533);
  EXPECT_EQ(help.folderCode, 6);
  EXPECT_EQ(help.fileName, L"product-help.chm");
  EXPECT_EQ(TimeText(help.fileTime), "2015-04-17 02:00:00.000");
  EXPECT_EQ(Window(help), "0.0.0.0..2.2.3.9099");
}

TEST(PatchFileTable, FileKinds) {
  std::map<std::string, int> kinds;
  for (const PatchFileEntry& row : Rows()) ++kinds[Extension(row)];
  EXPECT_EQ(kinds, (std::map<std::string, int>{{"dll", 135}, {"chm", 13}, {"ax", 7}, {"exe", 5}, {"xml", 1}}));
}

TEST(PatchFileTable, FileTimesAndTheRowsRebuiltForThisUpdate) {
  std::map<std::string, int> times;
  for (const PatchFileEntry& row : Rows()) ++times[TimeText(row.fileTime)];
  EXPECT_EQ(times, (std::map<std::string, int>{{"2013-09-11 02:00:00.000", 143}, {"2015-04-17 02:00:00.000", 18}}));
  // The rows of 2015 are exactly those that replace versions up to 2.2.3.9099.
  for (const PatchFileEntry& row : Rows()) {
    SCOPED_TRACE(row.resourceId);
    EXPECT_EQ(row.fileTime.year == 2015, VersionText(row.maxVersion) == "2.2.3.9099");
  }
}

TEST(PatchFileTable, VersionWindows) {
  std::map<std::string, int> windows;
  for (const PatchFileEntry& row : Rows()) ++windows[Window(row)];
  EXPECT_EQ(windows, (std::map<std::string, int>{
                         {"0.0.0.0..2.1.3.65535", 61},
                         {"0.0.0.0..3.0.2.8159", 50},
                         {"0.0.0.0..2.2.3.9099", 18},
                         {"0.0.0.0..1.3.1.65535", 12},
                         {"0.0.0.0..3.0.3.8159", 7},
                         {"0.0.0.0..3.0.2.15179", 6},
                         {"1.0.0.0..1.0.0.0", 2},
                         {"0.0.0.0..2.2.2.9099", 1},
                         {"0.0.0.0..2.2.2.9109", 1},
                         {"0.0.0.0..2.2.0.15179", 1},
                         {"0.0.0.0..3.4.1.9099", 1},
                         {"0.0.0.0..1.5.2.65535", 1},
                     }));
}

TEST(PatchFileTable, AlternativeGroupsCarryTheSameFilesInTheSameOrder) {
  std::map<std::string, int> modern, old;
  for (int32_t i = 0; i < 13; ++i) {
    const PatchFileEntry& a = RowById(499 + i);
    const PatchFileEntry& b = RowById(512 + i);
    SCOPED_TRACE(a.resourceId);
    EXPECT_EQ(a.fileName, b.fileName);
    EXPECT_EQ(a.folderCode, 0);
    EXPECT_EQ(b.folderCode, 0);
    ++modern[Window(a)];
    ++old[Window(b)];
    // The interop assembly is the one row with the exact window in both sets.
    const bool interop = a.fileName.rfind(L"Interop.", 0) == 0;
    EXPECT_EQ(interop, Window(a) == "1.0.0.0..1.0.0.0");
    EXPECT_EQ(interop, Window(b) == "1.0.0.0..1.0.0.0");
  }
  EXPECT_EQ(modern, (std::map<std::string, int>{{"0.0.0.0..2.1.3.65535", 12}, {"1.0.0.0..1.0.0.0", 1}}));
  EXPECT_EQ(old, (std::map<std::string, int>{{"0.0.0.0..1.3.1.65535", 12}, {"1.0.0.0..1.0.0.0", 1}}));
}

TEST(PatchFileTable, RowsByFolder) {
  std::map<int32_t, int> folders;
  for (const PatchFileEntry& row : Rows()) ++folders[row.folderCode];
  std::map<int32_t, int> expected = {{0, 64}, {35, 50}, {20, 14}, {6, 3}};
  for (int32_t code : {1, 2, 4, 7, 8, 9, 11, 12, 13, 14, 15, 16}) expected[code] = 2;
  for (int32_t code : {3, 5, 10, 18, 19, 24}) expected[code] = 1;
  EXPECT_EQ(folders, expected);
}

TEST(PatchFileTable, EveryFolderCodeIsInTheFolderTable) {
  for (const PatchFileEntry& row : Rows()) {
    SCOPED_TRACE(row.resourceId);
    const bool found = std::any_of(FolderTable().begin(), FolderTable().end(), [&](const FolderEntry& folder) {
      return folder.folderCode == row.folderCode && folder.on32 && folder.on64;
    });
    EXPECT_TRUE(found);
  }
}

TEST(PatchFileTable, LanguageFoldersHoldTheHelpFileAndOneLibrary) {
  // One help file, once in each of the 13 help folders.
  std::set<std::wstring> helpNames;
  std::multiset<int32_t> helpFolders;
  for (const PatchFileEntry& row : Rows()) {
    if (Extension(row) != "chm") continue;
    helpNames.insert(row.fileName);
    helpFolders.insert(row.folderCode);
  }
  EXPECT_EQ(helpNames.size(), 1u);
  EXPECT_EQ(helpFolders, std::multiset<int32_t>(kHelpFolders.begin(), kHelpFolders.end()));

  // Every language folder that receives files gets one library; ENG (code 6) two.
  std::map<int32_t, int> libraries;
  for (const PatchFileEntry& row : Rows())
    if (row.folderCode >= 1 && row.folderCode <= 19) {
      EXPECT_TRUE(Extension(row) == "dll" || Extension(row) == "chm") << row.resourceId;
      if (Extension(row) == "dll") ++libraries[row.folderCode];
    }
  std::map<int32_t, int> expected;
  for (int32_t code : kHelpFolders) expected[code] = code == 6 ? 2 : 1;
  for (int32_t code : kRegionalFolders) expected[code] = 1;
  EXPECT_EQ(libraries, expected);

  // One library recurs in the 13 help folders, another in the five regional ones.
  std::map<std::wstring, std::multiset<int32_t>> foldersByLibrary;
  for (const PatchFileEntry& row : Rows())
    if (row.folderCode >= 1 && row.folderCode <= 19 && Extension(row) == "dll")
      foldersByLibrary[row.fileName].insert(row.folderCode);
  int inHelpFolders = 0, inRegionalFolders = 0;
  for (const auto& [name, folders] : foldersByLibrary) {
    inHelpFolders += folders == std::multiset<int32_t>(kHelpFolders.begin(), kHelpFolders.end());
    inRegionalFolders += folders == std::multiset<int32_t>(kRegionalFolders.begin(), kRegionalFolders.end());
  }
  EXPECT_EQ(inHelpFolders, 1);
  EXPECT_EQ(inRegionalFolders, 1);
}

TEST(PatchFileTable, ProgramsAndMediaFiltersByFolder) {
  std::multiset<int32_t> programs, filters;
  for (const PatchFileEntry& row : Rows()) {
    if (Extension(row) == "exe") programs.insert(row.folderCode);
    if (Extension(row) == "ax") filters.insert(row.folderCode);
  }
  EXPECT_EQ(programs, (std::multiset<int32_t>{0, 0, 0, 0, 20}));
  EXPECT_EQ(filters, (std::multiset<int32_t>{35, 35, 35, 35, 35, 35, 35}));
}

TEST(PatchFileTable, BareNamesUniqueWithinAFolderButForTheAlternativeGroups) {
  std::map<std::pair<int32_t, std::wstring>, std::vector<int32_t>> idsByPlace;
  for (const PatchFileEntry& row : Rows()) {
    EXPECT_FALSE(row.fileName.empty()) << row.resourceId;
    EXPECT_EQ(row.fileName.find_first_of(L"\\/:"), std::wstring::npos) << row.resourceId;
    idsByPlace[{row.folderCode, row.fileName}].push_back(row.resourceId);
  }
  for (const auto& [place, ids] : idsByPlace) {
    SCOPED_TRACE(Narrow(place.second));
    const bool alternative = ids.front() >= 499 && ids.front() <= 511;
    if (alternative)
      EXPECT_EQ(ids, (std::vector<int32_t>{ids.front(), ids.front() + 13}));
    else
      EXPECT_EQ(ids.size(), 1u);
  }
}

TEST(PatchFileTable, SharedNamesAreRowsOfTheirFolders) {
  for (const wchar_t* program : {kMainProgram, kHelperProgram, kUploaderProgram, kSchedulerProgram})
    EXPECT_EQ(FoldersOf(program), std::vector<int32_t>{0}) << Narrow(program);
  EXPECT_EQ(FoldersOf(kSharedTrayProgram), std::vector<int32_t>{20});
  EXPECT_EQ(FoldersOf(kMediaDatabaseLibrary), std::vector<int32_t>{20});
  EXPECT_EQ(std::wstring(kMediaDatabaseLibrary), L"qvldb.dll");
  for (const wchar_t* server : kComServerLibraries)
    EXPECT_EQ(FoldersOf(server), std::vector<int32_t>{20}) << Narrow(server);
  for (size_t i = 0; i < kWatchedLibraries.size(); ++i) {
    const int32_t folder = i + 1 < kWatchedLibraries.size() ? 20 : 0;  // the SDK library is the product's
    EXPECT_EQ(FoldersOf(kWatchedLibraries[i]), std::vector<int32_t>{folder}) << Narrow(kWatchedLibraries[i]);
  }

  // The shared component folder holds exactly these, each once.
  std::multiset<std::wstring> named = {kSharedTrayProgram, kMediaDatabaseLibrary};
  named.insert(kComServerLibraries.begin(), kComServerLibraries.end());
  named.insert(kWatchedLibraries.begin(), kWatchedLibraries.end() - 1);
  std::multiset<std::wstring> shared;
  for (const PatchFileEntry& row : Rows())
    if (row.folderCode == 20) shared.insert(row.fileName);
  EXPECT_EQ(shared, named);
}

}  // namespace
