// The installed files' identities read from their folders' listings
// (FactsOfFiles) must be exactly what a handle of each file reads
// (FactsOfFile): the next run recognises the old files by the latter.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/file_facts.h"
#include "linux_link.h"
#include "test_files.h"

namespace {

testing::AssertionResult SameFacts(const FileFacts& listed, const FileFacts& read) {
  std::string differences;
  if (listed.exists != read.exists) differences += " exists;";
  if (listed.volume != read.volume) differences += " volume;";
  if (listed.fileId != read.fileId) differences += " file id;";
  if (listed.size != read.size) differences += " size;";
  if (listed.creationTime != read.creationTime) differences += " creation time;";
  if (listed.lastWriteTime != read.lastWriteTime) differences += " last-write time;";
  if (listed.attributes != read.attributes) differences += " attributes;";
  if (differences.empty()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "differ in" << differences;
}

TEST(FactsOfFiles, EveryFileReadsAsItsOwnHandleReadsIt) {
  const ScopedFolder root(TempFolder() + L"file-facts-test");
  const ScopedFolder plugins(root / L"plugins");
  const ScopedFolder outside(TempFolder() + L"file-facts-outside");
  WriteTestFile(root / L"core.dll", "core");
  WriteTestFile(root / L"player.exe", std::string(70000, 'p'));
  WriteTestFile(root / L"hidden.dat", "hidden");
  SetFileAttributesW((root / L"hidden.dat").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  WriteTestFile(plugins / L"codec.ax", "codec");
  WriteTestFile(outside / L"target.dll", "target of a link");
  const LinuxLink link(outside / L"target.dll", root / L"linked.dll");

  std::vector<std::wstring> paths = {
      root / L"core.dll",       root / L"PLAYER.EXE",  // as the install list may spell it
      root / L"hidden.dat",     plugins / L"codec.ax",
      root / L"missing.dll",    root / L"plugins",     // a folder where a file is expected
      TempFolder() + L"file-facts-test\\core.dll",     // the same file again
      root / L"no-such-folder\\x.dll",
  };
  if (link.Made()) paths.push_back(root / L"linked.dll");

  const std::vector<FileFacts> listed = FactsOfFiles(paths);
  ASSERT_EQ(listed.size(), paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    EXPECT_TRUE(SameFacts(listed[i], FactsOfFile(paths[i]))) << "for " << std::string(paths[i].begin(), paths[i].end());
  }
  EXPECT_TRUE(listed[0].exists && listed[1].exists && listed[3].exists);
  EXPECT_FALSE(listed[4].exists);
  EXPECT_FALSE(listed[7].exists);
  EXPECT_NE(listed[0].fileId, listed[1].fileId);
}

}  // namespace
