// The installed files' steps (PlanFileChanges): files replaced and removed,
// also while in use, with their old copies kept under their aside names until
// the commit, and every old file put back as it was by a roll-back.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/file_facts.h"
#include "base/win32_raii.h"
#include "payload/file_steps.h"
#include "payload/portable/sha256.h"
#include "payload/verified_file.h"

namespace {

constexpr HRESULT kSharingViolation = static_cast<HRESULT>(0x80070020);
constexpr wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

PayloadDigest DigestOf(const std::string& content) {
  PayloadDigest digest;
  digest.expandedSize = static_cast<std::uint32_t>(content.size());
  Sha256 hash;
  hash.Update(content.data(), content.size());
  digest.sha256 = hash.Finish();
  return digest;
}
const PayloadDigest kNew = DigestOf("new contents");

// `content` as SZDD data of literals only, which any expander must take.
std::string Packed(const std::string& content) {
  std::string packed("SZDD\x88\xF0\x27\x33\x41\x00", 10);
  for (int shift = 0; shift < 32; shift += 8) packed += static_cast<char>(content.size() >> shift);
  for (size_t i = 0; i < content.size(); i += 8) {
    packed += '\xFF';
    packed += content.substr(i, 8);
  }
  return packed;
}

// The payload of a row, held in memory as the program holds its resources.
struct Payload {
  explicit Payload(const std::string& content) : packed(Packed(content)) {
    file.data = packed.data();
    file.size = packed.size();
    SYSTEMTIME built{2013, 9, 0, 11, 2, 0, 0, 0};
    SystemTimeToFileTime(&built, &file.time);
  }
  Payload(const Payload&) = delete;  // `file` points into `packed`
  Payload& operator=(const Payload&) = delete;
  std::string packed;
  PayloadFile file;
};

FileChange Replacement(const std::wstring& destination, const Payload& payload, const PayloadDigest& digest) {
  FileChange change;
  change.destination = destination;
  change.payload = payload.file;
  change.digest = digest;
  return change;
}

FileChange Removal(const std::wstring& destination) {
  FileChange change;
  change.destination = destination;
  change.removal = true;
  return change;
}

std::string ReadAll(const std::wstring& path) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return std::string();
  std::string data(GetFileSize(file.Get(), nullptr), '\0');
  DWORD read = 0;
  if (!ReadFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr)) return std::string();
  data.resize(read);
  return data;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

// The raw PendingFileRenameOperations value; `present` false when there is none.
struct PendingValue {
  bool present = false;
  DWORD type = REG_MULTI_SZ;
  std::vector<BYTE> data;
};

PendingValue ReadPendingValue() {
  PendingValue value;
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return value;
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), kPendingRenames, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
    return value;
  }
  value.data.resize(size);
  if (RegQueryValueExW(key.Get(), kPendingRenames, nullptr, &value.type, value.data.data(), &size) ==
      ERROR_SUCCESS) {
    value.present = true;
    value.data.resize(size);
  }
  return value;
}

// What a test's files scheduled for the next restart must not outlive: the value as it was.
void RestorePendingValue(const PendingValue& value) {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.Receive()) != ERROR_SUCCESS) return;
  if (!value.present) {
    RegDeleteValueW(key.Get(), kPendingRenames);
    return;
  }
  RegSetValueExW(key.Get(), kPendingRenames, 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
}

// The value's strings: pairs of source and target, an empty target a deletion.
std::vector<std::wstring> PendingEntries() {
  const PendingValue value = ReadPendingValue();
  std::vector<std::wstring> entries;
  const auto* text = reinterpret_cast<const wchar_t*>(value.data.data());
  const size_t length = value.data.size() / sizeof(wchar_t);
  std::wstring current;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] != L'\0') {
      current += text[i];
      continue;
    }
    entries.push_back(current);
    current.clear();
  }
  if (!current.empty()) entries.push_back(current);
  while (!entries.empty() && entries.back().empty() && entries.size() % 2 == 1) entries.pop_back();
  return entries;
}

bool EndsWith(std::wstring text, std::wstring end) {
  CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  CharLowerBuffW(end.data(), static_cast<DWORD>(end.size()));
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// What the next restart is to do with the file named `from`: its target
// (empty for a deletion), or "<none>" when it is not listed.
std::wstring PendingTarget(const std::wstring& from) {
  const std::vector<std::wstring> entries = PendingEntries();
  for (size_t i = 0; i + 1 < entries.size(); i += 2) {
    if (EndsWith(entries[i], from)) return entries[i + 1];
  }
  return L"<none>";
}

// A file as a roll-back must find it again.
struct KeptFile {
  std::string content;
  FileFacts facts;
};

KeptFile Keep(const std::wstring& path) { return KeptFile{ReadAll(path), FactsOfFile(path)}; }

testing::AssertionResult IsKept(const std::wstring& path, const KeptFile& kept) {
  const FileFacts now = FactsOfFile(path);
  std::string differences;
  if (!now.exists) return testing::AssertionFailure() << "missing";
  if (now.volume != kept.facts.volume || now.fileId != kept.facts.fileId) differences += " another file (id);";
  if (now.size != kept.facts.size || ReadAll(path) != kept.content) differences += " content;";
  if (now.attributes != kept.facts.attributes) differences += " attributes;";
  if (now.creationTime != kept.facts.creationTime) differences += " creation time;";
  if (now.lastWriteTime != kept.facts.lastWriteTime) differences += " last-write time;";
  if (differences.empty()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "changed:" << differences;
}

class FileReplacement : public testing::Test {
 protected:
  void SetUp() override {
    pendingBefore_ = ReadPendingValue();
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"replacement-test\\";
    CreateDirectoryW(folder_.c_str(), nullptr);
    destination_ = folder_ + L"core-ui.dll";
    Write(destination_, "old contents");
  }
  void TearDown() override {
    for (const std::wstring& name : FolderEntries()) {
      SetFileAttributesW((folder_ + name).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW((folder_ + name).c_str());
    }
    RemoveDirectoryW(folder_.c_str());
    RestorePendingValue(pendingBefore_);
  }

  // An installed file with times of its own, long before the payload's, so
  // that a file written anew shows.
  static void Write(const std::wstring& path, const std::string& content) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.Valid());
    DWORD written = 0;
    WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    SYSTEMTIME installed{2010, 4, 0, 2, 8, 30, 0, 0};
    FILETIME time{};
    SystemTimeToFileTime(&installed, &time);
    SetFileTime(file.Get(), &time, &time, &time);
  }
  static std::string Read(const std::wstring& path) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                      FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return "<unreadable>";
    return ReadFrom(file.Get());
  }
  static std::string ReadFrom(HANDLE file) {
    char buffer[256];
    DWORD read = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    ReadFile(file, buffer, sizeof buffer, &read, nullptr);
    return std::string(buffer, read);
  }
  static bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
  // Holds the file open as another program would, with the given sharing.
  static UniqueFileHandle Hold(const std::wstring& path, DWORD share) {
    return UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
  }
  std::vector<std::wstring> FolderEntries() const { return FilesIn(folder_); }
  std::vector<std::wstring> AsideFiles() const {
    std::vector<std::wstring> aside;
    for (const std::wstring& name : FolderEntries()) {
      if (name.rfind(L"core-ui.dll.tmp.", 0) == 0) aside.push_back(folder_ + name);
    }
    return aside;
  }
  HRESULT Plan(const std::vector<FileChange>& changes) { return PlanFileChanges(changes, records_, steps_); }
  // Three installed files, the last one read-only and hidden.
  std::vector<std::wstring> ThreeFiles() {
    const std::vector<std::wstring> files = {destination_, folder_ + L"core-model.dll", folder_ + L"core-view.dll"};
    Write(files[1], "old model");
    Write(files[2], "old view");
    SetFileAttributesW(files[2].c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    return files;
  }

  const Payload source_{"new contents"};
  std::wstring folder_, destination_;
  PendingValue pendingBefore_;
  std::vector<JournalRecord> records_;
  StepList steps_;
};

TEST_F(FileReplacement, ReadOnlyHiddenFileIsReplacedAndTheNewOneIsReadOnlyHidden) {
  SetFileAttributesW(destination_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  ASSERT_EQ(Plan({Replacement(destination_, source_, kNew)}), S_OK);
  ASSERT_EQ(steps_.Do(), S_OK);
  EXPECT_EQ(steps_.Finish(), S_OK);
  EXPECT_EQ(Read(destination_), "new contents");
  const DWORD attributes = GetFileAttributesW(destination_.c_str());
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
  // The build's time of the file, not the time of the writing.
  UniqueFileHandle file(CreateFileW(destination_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
  FILETIME written{};
  ASSERT_TRUE(GetFileTime(file.Get(), nullptr, nullptr, &written));
  EXPECT_EQ(CompareFileTime(&written, &source_.file.time), 0);
  EXPECT_EQ(FolderEntries(), std::vector<std::wstring>{L"core-ui.dll"});
}

TEST_F(FileReplacement, FileHeldWithDeleteSharingIsReplacedUnderTheHoldersFeet) {
  // Open as a running program's image is: readable, renamable, not writable.
  UniqueFileHandle held = Hold(destination_, FILE_SHARE_READ | FILE_SHARE_DELETE);
  ASSERT_TRUE(held.Valid());
  ASSERT_EQ(Plan({Replacement(destination_, source_, kNew)}), S_OK);
  ASSERT_EQ(steps_.Do(), S_OK);
  EXPECT_EQ(Read(destination_), "new contents");
  // The holder still reads the old file: it was renamed, never written.
  EXPECT_EQ(ReadFrom(held.Get()), "old contents");
}

TEST_F(FileReplacement, LoadedLibraryIsReplacedAndItsOldCopyGoesAtTheNextRestart) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\version.dll").c_str(), destination_.c_str(), FALSE));
  const HMODULE library = LoadLibraryW(destination_.c_str());
  ASSERT_NE(library, nullptr);
  ASSERT_EQ(Plan({Replacement(destination_, source_, kNew)}), S_OK);
  EXPECT_EQ(steps_.Do(), S_OK);
  EXPECT_EQ(Read(destination_), "new contents");
  EXPECT_EQ(steps_.Finish(), S_OK);
  const auto aside = AsideFiles();
  EXPECT_EQ(aside.size(), 1u) << "a mapped copy cannot be deleted while mapped";
  if (!aside.empty()) {
    EXPECT_EQ(PendingTarget(aside[0]), L"") << "not scheduled for deletion";
  }
  FreeLibrary(library);
}

TEST_F(FileReplacement, UntilFinishTheOldFileWaitsUnderItsAsideNameAsItWas) {
  SetFileAttributesW(destination_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  const KeptFile old = Keep(destination_);
  ASSERT_EQ(Plan({Replacement(destination_, source_, kNew)}), S_OK);
  ASSERT_EQ(records_.size(), 1u);
  ASSERT_EQ(steps_.Do(), S_OK);
  const auto aside = AsideFiles();
  ASSERT_EQ(aside, std::vector<std::wstring>{records_[0].aside});
  EXPECT_TRUE(IsKept(aside[0], old));
  EXPECT_EQ(Read(destination_), "new contents");
}

TEST_F(FileReplacement, FinishDeletesTheOldCopiesOfAReplacementAndARemoval) {
  const std::wstring removed = folder_ + L"retired.dll";
  Write(removed, "retired");
  SetFileAttributesW(destination_.c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_EQ(Plan({Replacement(destination_, source_, kNew), Removal(removed)}), S_OK);
  ASSERT_EQ(steps_.Do(), S_OK);
  ASSERT_EQ(FolderEntries().size(), 3u) << "both old copies wait aside until the commit";
  EXPECT_EQ(steps_.Finish(), S_OK);
  EXPECT_EQ(FolderEntries(), std::vector<std::wstring>{L"core-ui.dll"});
  EXPECT_EQ(Read(destination_), "new contents");
  // Free copies go at once, not at the next restart.
  EXPECT_EQ(ReadPendingValue().data, pendingBefore_.data);
}

TEST_F(FileReplacement, RollBackAfterAllStepsPutsEveryOldFileBack) {
  const std::wstring model = folder_ + L"core-model.dll";
  const std::wstring added = folder_ + L"core-extra.dll";  // not installed before
  Write(model, "old model");
  SetFileAttributesW(destination_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  const KeptFile oldUi = Keep(destination_);
  const KeptFile oldModel = Keep(model);
  // A program keeps running the old core-model.dll through it all.
  UniqueFileHandle held = Hold(model, FILE_SHARE_READ | FILE_SHARE_DELETE);
  ASSERT_TRUE(held.Valid());
  ASSERT_EQ(Plan({Replacement(destination_, source_, kNew), Replacement(model, source_, kNew),
                  Replacement(added, source_, kNew)}),
            S_OK);
  ASSERT_EQ(steps_.Do(), S_OK);
  ASSERT_EQ(steps_.Ran(), 4u);  // the new files' step and one per file
  ASSERT_EQ(Read(added), "new contents");

  EXPECT_FALSE(steps_.Rollback()) << "nothing should wait for a restart";
  EXPECT_TRUE(IsKept(destination_, oldUi));
  EXPECT_TRUE(IsKept(model, oldModel));
  EXPECT_FALSE(Exists(added));
  EXPECT_EQ(FolderEntries(), (std::vector<std::wstring>{L"core-model.dll", L"core-ui.dll"}))
      << "a new or aside file stayed";
  EXPECT_EQ(ReadPendingValue().data, pendingBefore_.data);
}

TEST_F(FileReplacement, RollBackWhoseNewFileIsHeldLeavesThePutBackForTheNextRestart) {
  const KeptFile old = Keep(destination_);
  ASSERT_EQ(Plan({Replacement(destination_, source_, kNew)}), S_OK);
  ASSERT_EQ(steps_.Do(), S_OK);
  // A program opened the new file, without delete sharing, before the roll-back.
  UniqueFileHandle held = Hold(destination_, FILE_SHARE_READ);
  ASSERT_TRUE(held.Valid());

  EXPECT_TRUE(steps_.Rollback()) << "the restart needed is not reported";
  EXPECT_EQ(Read(destination_), "new contents");
  const auto aside = AsideFiles();
  ASSERT_EQ(aside, std::vector<std::wstring>{records_[0].aside});
  EXPECT_TRUE(IsKept(aside[0], old));
  // Listed as a rename of the aside copy over whatever holds the installed name ("!": replace).
  const std::wstring target = PendingTarget(aside[0]);
  EXPECT_TRUE(EndsWith(target, L"\\core-ui.dll")) << target;
  EXPECT_EQ(target.substr(0, 1), L"!") << "the put-back would not replace the new file";
  // No new file left under its new-file name.
  EXPECT_EQ(FolderEntries().size(), 2u);
}

TEST_F(FileReplacement, RemovalRenamesTheFileAsideAndItsRollBackPutsItBack) {
  SetFileAttributesW(destination_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  const KeptFile old = Keep(destination_);
  ASSERT_EQ(Plan({Removal(destination_)}), S_OK);
  ASSERT_EQ(steps_.Do(), S_OK);
  EXPECT_FALSE(Exists(destination_));
  const auto aside = AsideFiles();
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_TRUE(IsKept(aside[0], old));
  EXPECT_FALSE(steps_.Rollback());
  EXPECT_TRUE(IsKept(destination_, old));
  EXPECT_EQ(FolderEntries(), std::vector<std::wstring>{L"core-ui.dll"});
}

TEST_F(FileReplacement, RemovalOfAFileThatIsNotThereIsRefusedWhenPlanned) {
  EXPECT_EQ(Plan({Replacement(destination_, source_, kNew), Removal(folder_ + L"never-installed.dll")}),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(steps_.Size(), 0u);
  EXPECT_EQ(Read(destination_), "old contents");
}

TEST_F(FileReplacement, DigestMismatchAtTheSecondOfThreeFilesChangesNothingOnceRolledBack) {
  const std::vector<std::wstring> files = ThreeFiles();
  std::vector<KeptFile> old;
  for (const std::wstring& file : files) old.push_back(Keep(file));
  ASSERT_EQ(Plan({Replacement(files[0], source_, kNew), Replacement(files[1], source_, DigestOf("new contentz")),
                  Replacement(files[2], source_, kNew)}),
            S_OK);
  EXPECT_EQ(steps_.Do(), kDigestMismatch);
  EXPECT_FALSE(steps_.Rollback());
  for (size_t i = 0; i < files.size(); ++i) EXPECT_TRUE(IsKept(files[i], old[i])) << i;
  EXPECT_EQ(FolderEntries(), (std::vector<std::wstring>{L"core-model.dll", L"core-ui.dll", L"core-view.dll"}));
  EXPECT_EQ(ReadPendingValue().data, pendingBefore_.data);
}

TEST_F(FileReplacement, HeldFileAtTheSecondOfThreeFilesChangesNothingOnceRolledBack) {
  const std::vector<std::wstring> files = ThreeFiles();
  std::vector<KeptFile> old;
  for (const std::wstring& file : files) old.push_back(Keep(file));
  // Held as no update can take: not writable, not even renamable.
  UniqueFileHandle held = Hold(files[1], FILE_SHARE_READ);
  ASSERT_TRUE(held.Valid());
  ASSERT_EQ(Plan({Replacement(files[0], source_, kNew), Replacement(files[1], source_, kNew),
                  Replacement(files[2], source_, kNew)}),
            S_OK);
  EXPECT_EQ(steps_.Do(), kSharingViolation);
  EXPECT_EQ(steps_.Ran(), 3u) << "the first file was replaced before the held one";
  EXPECT_FALSE(steps_.Rollback());
  for (size_t i = 0; i < files.size(); ++i) EXPECT_TRUE(IsKept(files[i], old[i])) << i;
  EXPECT_EQ(FolderEntries(), (std::vector<std::wstring>{L"core-model.dll", L"core-ui.dll", L"core-view.dll"}));
  EXPECT_EQ(ReadPendingValue().data, pendingBefore_.data);
}

}  // namespace

namespace {

// A destination on a small, nearly full volume: wine.full_volume runs these
// with UPDATER_SMALL_VOLUME naming a folder there that holds core-ui.dll and
// filler.bin.
class FullVolume : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t folder[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"UPDATER_SMALL_VOLUME", folder, MAX_PATH) == 0) {
      GTEST_SKIP() << "needs UPDATER_SMALL_VOLUME, a folder on a nearly full volume (wine.full_volume)";
    }
    folder_ = folder;
    if (folder_.back() != L'\\') folder_ += L'\\';
    destination_ = folder_ + L"core-ui.dll";
    before_ = ReadAll(destination_);
    ASSERT_FALSE(before_.empty());
  }
  ULONGLONG FreeBytes() const {
    ULARGE_INTEGER free{};
    EXPECT_TRUE(GetDiskFreeSpaceExW(folder_.c_str(), &free, nullptr, nullptr));
    return free.QuadPart;
  }
  void ExpectInstalledFileAlone() const {
    EXPECT_TRUE(ReadAll(destination_) == before_) << "the installed file changed";
    EXPECT_EQ(FilesIn(folder_), (std::vector<std::wstring>{L"core-ui.dll", L"filler.bin"})) << "a new file stayed";
  }
  std::wstring folder_, destination_;
  std::string before_;
  std::vector<JournalRecord> records_;
  StepList steps_;
};

TEST_F(FullVolume, NewFilesTheVolumeCannotHoldAreRefusedWhenPlanned) {
  // Larger than the room left, and larger than the installed file.
  const std::string content(static_cast<size_t>(FreeBytes()) + before_.size() + 65536, 'n');
  const Payload source(content);
  EXPECT_EQ(PlanFileChanges({Replacement(destination_, source, DigestOf(content))}, records_, steps_),
            kNoRoomForNewFiles);
  EXPECT_EQ(steps_.Size(), 0u);
  ExpectInstalledFileAlone();
}

// Another program takes the room between the plan and the writing: the write
// fails half-way and the roll-back leaves the installed file alone.
TEST_F(FullVolume, AWriteThatRunsOutOfRoomIsRolledBack) {
  const std::string content(256 * 1024, 'n');
  const Payload source(content);
  ASSERT_EQ(PlanFileChanges({Replacement(destination_, source, DigestOf(content))}, records_, steps_), S_OK)
      << "the volume has too little room for this test";
  const std::wstring taker = folder_ + L"taker.bin";
  {
    UniqueFileHandle file(CreateFileW(taker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(file.Valid());
    const std::string block(64 * 1024, 't');
    DWORD written = 0;
    while (FreeBytes() > content.size() / 2 &&
           WriteFile(file.Get(), block.data(), static_cast<DWORD>(block.size()), &written, nullptr) &&
           written == block.size()) {
    }
  }
  EXPECT_EQ(steps_.Do(), HRESULT_FROM_WIN32(ERROR_DISK_FULL));
  EXPECT_FALSE(steps_.Rollback());
  DeleteFileW(taker.c_str());
  ExpectInstalledFileAlone();
}

}  // namespace
