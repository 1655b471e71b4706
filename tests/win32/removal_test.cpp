// Removal of folder trees (read-only entries, files in use, empty and missing
// folders, a link on the way to the tree) and of the work folder after the update.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/file_facts.h"
#include "base/win32_raii.h"
#include "payload/extract_payload.h"
#include "linux_link.h"
#include "records/removal.h"
#include "test_files.h"

namespace {

// The tree of the tests, below the temporary folder.
constexpr wchar_t kTree[] = L"removal-test";

class FolderTree : public testing::Test {
 protected:
  ScopedFolder root_{TempFolder() + kTree};
  std::wstring Path(const wchar_t* relative) const { return root_ / relative; }
  void MakeFolder(const wchar_t* relative) const { ASSERT_TRUE(CreateDirectoryW(Path(relative).c_str(), nullptr)); }
  void MakeFile(const wchar_t* relative) const { WriteTestFile(Path(relative), "x"); }
  void MakeReadOnly(const wchar_t* relative) const {
    const std::wstring path = Path(relative);
    SetFileAttributesW(path.c_str(), GetFileAttributesW(path.c_str()) | FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << "not read-only";
  }
};

TEST_F(FolderTree, ReadOnlyAndHiddenEntriesAreRemoved) {
  MakeFolder(L"sub");
  MakeFolder(L"sub\\deeper");
  MakeFile(L"sub\\deeper\\locked.txt");
  MakeFile(L"sub\\index.dat");
  MakeFile(L"top.txt");
  MakeFile(L"hidden.txt");
  SetFileAttributesW(Path(L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  MakeReadOnly(L"sub\\deeper\\locked.txt");
  MakeReadOnly(L"top.txt");
  ASSERT_FALSE(DeleteFileW(Path(L"top.txt").c_str())) << "a read-only file resists deletion";
  // Wine cannot mark a folder read-only from the Windows side (and removes one
  // all the same); the scenarios of tests/wine make read-only folders on the Linux side.
  EXPECT_TRUE(RemoveFolderTree(TempFolder(), kTree));
  EXPECT_FALSE(PathExists(root_.Path()));
}

TEST_F(FolderTree, FileInUseKeepsItselfAndTheFoldersAboveIt) {
  MakeFolder(L"a");
  MakeFolder(L"a\\b");
  MakeFolder(L"a\\c");
  MakeFolder(L"d");
  MakeFile(L"a\\b\\held.txt");
  MakeFile(L"a\\b\\free.txt");
  MakeFile(L"a\\c\\x.txt");
  MakeFile(L"a\\y.txt");
  MakeFile(L"d\\z.txt");
  MakeFile(L"top.txt");
  UniqueFileHandle held(CreateFileW(Path(L"a\\b\\held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.Valid());
  EXPECT_FALSE(RemoveFolderTree(TempFolder(), kTree));
  for (const wchar_t* kept : {L"a\\b\\held.txt", L"a\\b", L"a"}) EXPECT_TRUE(PathExists(Path(kept))) << kept;
  EXPECT_TRUE(PathExists(root_.Path()));
  for (const wchar_t* gone : {L"a\\b\\free.txt", L"a\\c", L"a\\y.txt", L"d", L"top.txt"}) {
    EXPECT_FALSE(PathExists(Path(gone))) << gone;
  }
}

TEST_F(FolderTree, ContentsOnlyLeaveTheFolder) {
  MakeFolder(L"sub");
  MakeFile(L"sub\\x.txt");
  EXPECT_TRUE(DeleteFolderContents(TempFolder(), kTree));
  EXPECT_TRUE(PathExists(root_.Path()));
  EXPECT_FALSE(PathExists(Path(L"sub")));
}

TEST_F(FolderTree, EmptyFolder) {
  EXPECT_TRUE(DeleteFolderContents(TempFolder(), kTree));
  EXPECT_TRUE(RemoveFolderTree(TempFolder(), kTree));
  EXPECT_FALSE(PathExists(root_.Path()));
}

TEST_F(FolderTree, MissingFolderCannotBeListed) {
  EXPECT_FALSE(DeleteFolderContents(root_.Path(), L"missing"));
  EXPECT_FALSE(RemoveFolderTree(root_.Path(), L"missing"));
  EXPECT_FALSE(RemoveFolderTree(root_.Path(), L"missing\\below"));
}

TEST_F(FolderTree, TreeBelowAFolderLinkIsNotWalked) {
  MakeFolder(L"outside");
  MakeFolder(L"outside\\tree");
  MakeFile(L"outside\\tree\\keep.txt");
  MakeFolder(L"plain");
  MakeFolder(L"plain\\tree");
  MakeFile(L"plain\\tree\\x.txt");
  const LinuxLink link(Path(L"outside"), Path(L"linked"));
  if (!link.Made()) GTEST_SKIP() << "no Linux link can be made here (not Wine)";
  ASSERT_TRUE(PathExists(Path(L"linked\\tree\\keep.txt"))) << "the link leads to the tree";
  EXPECT_FALSE(DeleteFolderContents(root_.Path(), L"linked\\tree"));
  EXPECT_FALSE(RemoveFolderTree(root_.Path(), L"linked\\tree"));
  EXPECT_EQ(ReadTestFile(Path(L"outside\\tree\\keep.txt")), "x");
  // The same tree below a plain folder goes, and only it.
  EXPECT_TRUE(RemoveFolderTree(root_.Path(), L"plain\\tree"));
  EXPECT_FALSE(PathExists(Path(L"plain\\tree")));
  EXPECT_TRUE(PathExists(Path(L"plain")));
}

// An earlier run's work folder, found again by the identity its journal
// recorded: only that very folder goes, never one made since under its name,
// and of what it holds only the registry script.
TEST_F(FolderTree, OnlyTheEarlierWorkFolderOfTheRecordedIdentityIsRemoved) {
  MakeFolder(L"work");
  MakeFile(L"work\\Reg.reg");
  const FileFacts recorded = FactsOfFile(Path(L"work"));
  ASSERT_TRUE(recorded.exists);
  // Moved away and made again under the same name: another folder, which
  // stays with its script.
  ASSERT_TRUE(MoveFileW(Path(L"work").c_str(), Path(L"moved").c_str()));
  MakeFolder(L"work");
  MakeFile(L"work\\Reg.reg");
  ASSERT_FALSE(IsSameFile(FactsOfFile(Path(L"work")), recorded)) << "a new folder has an index of its own";
  EXPECT_TRUE(RemoveEarlierWorkFolder(Path(L"work"), recorded));
  EXPECT_EQ(ReadTestFile(Path(L"work\\Reg.reg")), "x");
  EXPECT_EQ(ReadTestFile(Path(L"moved\\Reg.reg")), "x");

  // The folder of that identity: its script goes, and what else it holds stays with it.
  MakeFile(L"work\\other.dll");
  const FileFacts now = FactsOfFile(Path(L"work"));
  EXPECT_FALSE(RemoveEarlierWorkFolder(Path(L"work"), now));
  EXPECT_FALSE(PathExists(Path(L"work\\Reg.reg")));
  EXPECT_EQ(ReadTestFile(Path(L"work\\other.dll")), "x");
  ASSERT_TRUE(DeleteFileW(Path(L"work\\other.dll").c_str()));
  EXPECT_TRUE(RemoveEarlierWorkFolder(Path(L"work"), now));
  EXPECT_FALSE(PathExists(Path(L"work")));
  EXPECT_TRUE(RemoveEarlierWorkFolder(Path(L"work"), now)) << "gone is what was asked for";
}

class WorkFolder : public testing::Test {
 protected:
  void TearDown() override { RemoveTestTree(folder_.substr(0, folder_.size() - 1)); }
  void SetUp() override { ASSERT_EQ(MakeWorkFolder(WorkFolderName(), folder_), S_OK); }
  std::wstring folder_;
};

TEST_F(WorkFolder, HeldFolderIsRemovedOnceEmpty) {
  const DWORD began = GetTickCount();
  RemoveWorkFolder();
  EXPECT_LT(GetTickCount() - began, 2000u) << "no registry editor was started, so none is waited for";
  EXPECT_FALSE(PathExists(folder_));
}

// Only the script the import holds is deleted: whatever else is in the
// folder, a "Reg.reg" that the import did not make included, stays, and
// with it the folder.
TEST_F(WorkFolder, FilesTheImportDidNotMakeKeepTheFolder) {
  WriteTestFile(folder_ + L"Reg.reg", "script");
  WriteTestFile(folder_ + L"other.dll", "left by someone");
  RemoveWorkFolder();
  EXPECT_EQ(ReadTestFile(folder_ + L"Reg.reg"), "script");
  EXPECT_EQ(ReadTestFile(folder_ + L"other.dll"), "left by someone");
}

}  // namespace
