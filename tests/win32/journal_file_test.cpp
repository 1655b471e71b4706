// The journal's folder in ProgramData and the files in it: what is written
// comes back after the object is gone, a squatter of the folder's name is
// renamed aside, and no link in the folder is followed.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/journal_file.h"
#include "base/win32_raii.h"
#include "linux_link.h"
#include "test_files.h"

namespace {

std::wstring FolderPath() { return SpecialFolderPath(CSIDL_COMMON_APPDATA) + L"\\" + kJournalFolderName; }

// The entries beside the folder that its squatters were renamed to.
std::vector<std::wstring> AsideCopies() {
  std::vector<std::wstring> found;
  WIN32_FIND_DATAW entry{};
  const HANDLE listing = FindFirstFileW((FolderPath() + L".tmp.*").c_str(), &entry);
  if (listing == INVALID_HANDLE_VALUE) return found;
  do found.push_back(SpecialFolderPath(CSIDL_COMMON_APPDATA) + L"\\" + entry.cFileName);
  while (FindNextFileW(listing, &entry));
  FindClose(listing);
  return found;
}

void RemoveEverything() {
  for (const std::wstring& aside : AsideCopies()) {
    DeleteFileW(aside.c_str());
    RemoveTestTree(aside);
  }
  DeleteFileW(FolderPath().c_str());
  RemoveTestTree(FolderPath());
  // A machine where no run made the folder: nothing is known of it either
  // (a new folder may get the index of the one just removed).
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kJournalAnchorKey, kJournalAnchorValue);
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kJournalAnchorKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.Receive()) ==
      ERROR_SUCCESS) {
    RegDeleteValueW(key.Get(), kJournalAnchorValue);
  }
}

// Every test starts and ends without the folder or anything renamed beside it.
class JournalFileTest : public testing::Test {
 protected:
  void SetUp() override { RemoveEverything(); }
  void TearDown() override { RemoveEverything(); }
};

JournalRecord Begin() {
  JournalRecord record;
  record.kind = RecordKind::kBegin;
  record.runningServices = {L"QVLDms", L"QVLDs"};
  record.relaunchRecorder = true;
  return record;
}

JournalRecord File(const std::wstring& name) {
  JournalRecord record;
  record.kind = RecordKind::kFile;
  record.destination = L"C:\\Program Files\\Orvane\\" + name;
  record.aside = record.destination + L".tmp.10-20";
  record.newFile = record.destination + L".new.10-20";
  record.old.exists = true;
  record.old.volume = 0xABCD;
  record.old.fileId = 77;
  return record;
}

JournalRecord Kind(RecordKind kind) {
  JournalRecord record;
  record.kind = kind;
  return record;
}

std::vector<RecordKind> KindsOf(const DecodedJournal& journal) {
  std::vector<RecordKind> kinds;
  for (const JournalRecord& record : journal.records) kinds.push_back(record.kind);
  return kinds;
}

TEST_F(JournalFileTest, WhatIsWrittenIsReadBackAndDeletedWithTheFolderKept) {
  const std::string snapshot("registry\0with\nevery\xff byte", 25);
  JournalFile journal;
  ASSERT_EQ(JournalFile::Open(journal), S_OK);
  EXPECT_EQ(journal.FolderPath(), FolderPath());
  DecodedJournal read;
  EXPECT_EQ(journal.Read(read), S_FALSE);
  EXPECT_TRUE(read.records.empty());
  ASSERT_EQ(journal.Start(), S_OK);
  ASSERT_EQ(journal.Append({Begin(), File(L"a.dll"), File(L"\u00e9t\u00e9.dll")}), S_OK);
  ASSERT_EQ(journal.SaveFile(L"registry.snapshot", snapshot), S_OK);
  ASSERT_EQ(journal.Append({Kind(RecordKind::kCommit)}), S_OK);
  // The journal's own name, or one outside the folder, is no file to save.
  EXPECT_EQ(journal.SaveFile(kJournalFileName, "x"), E_INVALIDARG);
  EXPECT_EQ(journal.SaveFile(L"..\\outside", "x"), E_INVALIDARG);

  ASSERT_EQ(journal.Read(read), S_OK);
  EXPECT_FALSE(read.torn);
  ASSERT_EQ(KindsOf(read), (std::vector<RecordKind>{RecordKind::kBegin, RecordKind::kFile, RecordKind::kFile,
                                                    RecordKind::kCommit}));
  EXPECT_EQ(read.records[0].runningServices, Begin().runningServices);
  EXPECT_EQ(read.records[2].destination, File(L"\u00e9t\u00e9.dll").destination);
  std::string loaded;
  ASSERT_EQ(journal.LoadFile(L"registry.snapshot", loaded), S_OK);
  EXPECT_EQ(loaded, snapshot);

  // A fresh journal replaces the old one.
  ASSERT_EQ(journal.Start(), S_OK);
  ASSERT_EQ(journal.Append({Begin()}), S_OK);
  ASSERT_EQ(journal.Read(read), S_OK);
  EXPECT_EQ(KindsOf(read), (std::vector<RecordKind>{RecordKind::kBegin}));

  ASSERT_EQ(journal.Delete(), S_OK);
  EXPECT_EQ(journal.Read(read), S_FALSE);
  EXPECT_EQ(journal.LoadFile(L"registry.snapshot", loaded), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(PathExists(FolderPath()));
}

// The next run takes the folder again and reads what the last one wrote,
// also where the file system does not keep the folder's protection (Wine):
// the folder's identity, kept under HKLM, stands in for it.
TEST_F(JournalFileTest, TheNextRunReadsTheJournalOfTheFolderTheLastOneMade) {
  {
    JournalFile journal;
    ASSERT_EQ(JournalFile::Open(journal), S_OK);
    ASSERT_EQ(journal.Start(), S_OK);
    ASSERT_EQ(journal.Append({Begin(), Kind(RecordKind::kCommit)}), S_OK);
  }
  JournalFile next;
  ASSERT_EQ(JournalFile::Open(next), S_OK);
  DecodedJournal read;
  ASSERT_EQ(next.Read(read), S_OK);
  EXPECT_EQ(KindsOf(read), (std::vector<RecordKind>{RecordKind::kBegin, RecordKind::kCommit}));
  EXPECT_TRUE(AsideCopies().empty());
}

// A run killed in the middle of a line: the next records go after the last
// one that checks, not after the torn bytes, where no one would read them.
TEST_F(JournalFileTest, RecordsAddedAfterATornLineAreRead) {
  JournalFile journal;
  ASSERT_EQ(JournalFile::Open(journal), S_OK);
  const std::string whole = EncodeRecord(Begin());
  const std::string torn = EncodeRecord(File(L"a.dll"));
  WriteTestFile(FolderPath() + L"\\" + kJournalFileName, whole + torn.substr(0, torn.size() / 2));

  DecodedJournal read;
  ASSERT_EQ(journal.Read(read), S_OK);
  EXPECT_TRUE(read.torn);
  EXPECT_EQ(read.usedBytes, whole.size());
  ASSERT_EQ(journal.Append({Kind(RecordKind::kEnd)}), S_OK);
  ASSERT_EQ(journal.Read(read), S_OK);
  EXPECT_FALSE(read.torn);
  EXPECT_EQ(KindsOf(read), (std::vector<RecordKind>{RecordKind::kBegin, RecordKind::kEnd}));
}

// What a standard user can put in ProgramData under the folder's name: a
// folder that anyone may write to, or a file. Either is renamed aside whole,
// and the journal's folder made afresh.
TEST_F(JournalFileTest, ASquatterOfTheFolderNameIsRenamedAside) {
  for (const bool folder : {true, false}) {
    SCOPED_TRACE(folder ? "a folder anyone may write to" : "a file");
    const std::wstring path = FolderPath();
    if (folder) {
      ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
      WriteTestFile(path + L"\\" + kJournalFileName, EncodeRecord(Begin()));
      PSECURITY_DESCRIPTOR everyone = nullptr;
      ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:(A;OICI;FA;;;WD)(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", SDDL_REVISION_1, &everyone, nullptr));
      UniqueLocal release(everyone);
      PACL open = nullptr;
      BOOL present = FALSE, defaulted = FALSE;
      ASSERT_TRUE(GetSecurityDescriptorDacl(everyone, &present, &open, &defaulted));
      ASSERT_EQ(SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION, nullptr, nullptr, open, nullptr),
                static_cast<DWORD>(ERROR_SUCCESS));
    } else {
      WriteTestFile(path, "planted");
    }

    {
      JournalFile journal;
      ASSERT_EQ(JournalFile::Open(journal), S_OK);
      // The squatter's journal is not the machine's: there is none.
      DecodedJournal read;
      EXPECT_EQ(journal.Read(read), S_FALSE);
      ASSERT_EQ(journal.Start(), S_OK);
      ASSERT_EQ(journal.Append({Begin()}), S_OK);
    }
    const DWORD attributes = GetFileAttributesW(FolderPath().c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    const std::vector<std::wstring> asides = AsideCopies();
    ASSERT_EQ(asides.size(), 1u) << "nothing, or more than the squatter, was renamed aside";
    if (folder) {
      EXPECT_EQ(ReadTestFile(asides[0] + L"\\" + kJournalFileName), EncodeRecord(Begin()));
    } else {
      EXPECT_EQ(ReadTestFile(asides[0]), "planted");
    }
    RemoveEverything();
  }
}

// Links in the folder, to a file outside it: nothing is read or written
// through them, and what they lead to stays as it was.
TEST_F(JournalFileTest, LinksInTheFolderAreNotFollowed) {
  JournalFile journal;
  ASSERT_EQ(JournalFile::Open(journal), S_OK);
  const ScopedFolder outside(TempFolder() + L"journal-link-test");
  const std::wstring target = outside / L"target.bin";
  const std::string content = EncodeRecord(Begin()) + EncodeRecord(Kind(RecordKind::kCommit));
  WriteTestFile(target, content);
  const LinuxLink journalLink(target, FolderPath() + L"\\" + kJournalFileName);
  if (!journalLink.Made()) GTEST_SKIP() << "no Linux link can be made here (not Wine)";
  const LinuxLink savedLink(target, FolderPath() + L"\\registry.snapshot");
  ASSERT_TRUE(savedLink.Made());
  ASSERT_EQ(ReadTestFile(FolderPath() + L"\\" + kJournalFileName), content) << "the link leads to the target";

  DecodedJournal read;
  EXPECT_EQ(journal.Read(read), HRESULT_FROM_WIN32(ERROR_CANT_ACCESS_FILE));
  EXPECT_TRUE(read.records.empty());
  std::string loaded;
  EXPECT_TRUE(FAILED(journal.LoadFile(L"registry.snapshot", loaded)));
  EXPECT_TRUE(loaded.empty());
  // Wine's handles go through a Linux link, so it cannot be removed as a
  // link: the replacements fail rather than delete or write what it leads to.
  EXPECT_TRUE(FAILED(journal.Start()));
  EXPECT_TRUE(FAILED(journal.Append({Kind(RecordKind::kEnd)})));
  EXPECT_TRUE(FAILED(journal.SaveFile(L"registry.snapshot", "overwritten")));
  EXPECT_TRUE(FAILED(journal.Delete()));
  EXPECT_EQ(ReadTestFile(target), content);
}

}  // namespace
