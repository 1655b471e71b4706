#include "records/portable/folder_entry.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kReadOnly = 0x1;
constexpr uint32_t kHidden = 0x2;
constexpr uint32_t kDirectory = 0x10;
constexpr uint32_t kArchive = 0x20;
constexpr uint32_t kReparsePoint = 0x400;

TEST(FolderEntry, DotEntriesAreSkippedByExactName) {
  EXPECT_EQ(ClassifyFolderEntry(L".", kDirectory), FolderEntryAction::kSkip);
  EXPECT_EQ(ClassifyFolderEntry(L"..", kDirectory), FolderEntryAction::kSkip);
  EXPECT_EQ(ClassifyFolderEntry(L"...", kDirectory), FolderEntryAction::kRemoveTree);
  EXPECT_EQ(ClassifyFolderEntry(L".hidden", kArchive), FolderEntryAction::kDeleteFile);
}

TEST(FolderEntry, FilesFoldersAndLinks) {
  EXPECT_EQ(ClassifyFolderEntry(L"a.txt", kArchive | kReadOnly | kHidden), FolderEntryAction::kDeleteFile);
  EXPECT_EQ(ClassifyFolderEntry(L"index.dat", kArchive), FolderEntryAction::kDeleteFile);
  EXPECT_EQ(ClassifyFolderEntry(L"sub", kDirectory | kReadOnly), FolderEntryAction::kRemoveTree);
  // Junctions and directory symbolic links are removed as links, never walked into.
  EXPECT_EQ(ClassifyFolderEntry(L"link", kDirectory | kReparsePoint), FolderEntryAction::kRemoveLink);
  EXPECT_EQ(ClassifyFolderEntry(L"link", kDirectory | kReparsePoint | kReadOnly), FolderEntryAction::kRemoveLink);
  // A link to a file is deleted like a file: that removes the link only.
  EXPECT_EQ(ClassifyFolderEntry(L"file-link", kArchive | kReparsePoint), FolderEntryAction::kDeleteFile);
}

}  // namespace
