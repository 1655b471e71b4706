#include "base/portable/recovery_decision.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Mode = RecoveryDecision::Mode;

FileFacts Facts(uint64_t id) {
  FileFacts facts;
  facts.exists = true;
  facts.volume = 0x1234;
  facts.fileId = id;
  facts.size = 10;
  return facts;
}

constexpr uint64_t kOldId = 100, kOtherId = 200, kNewId = 300;

enum class Change { kReplacement, kRemoval, kAdded };

JournalRecord FileRecord(Change change, const std::wstring& name = L"C:\\app\\core.dll") {
  JournalRecord record;
  record.kind = RecordKind::kFile;
  record.removal = change == Change::kRemoval;
  record.destination = name;
  record.aside = name + L".tmp.1-2";
  if (change != Change::kRemoval) record.newFile = name + L".new.1-2";
  record.old = Facts(kOldId);
  // An added file has no old one; its facts still carry the index that a
  // file found under its names has, so that only `exists` tells them apart.
  record.old.exists = change != Change::kAdded;
  return record;
}

JournalRecord Record(RecordKind kind) {
  JournalRecord record;
  record.kind = kind;
  return record;
}

JournalRecord BeginRecord() {
  JournalRecord record = Record(RecordKind::kBegin);
  record.runningServices = {L"QVLDms", L"QVLDs"};
  record.relaunchRecorder = true;
  return record;
}

JournalRecord RegistryRecord() {
  JournalRecord record = Record(RecordKind::kRegistry);
  record.snapshot = L"registry.snapshot";
  return record;
}

// "dest aside new": '-' nothing there, 'O' the old file, 'X' another file;
// 'N' a file under the new name.
FoundNames Found(const char* names) {
  const auto at = [](char c) {
    if (c == 'O') return Facts(kOldId);
    if (c == 'X' || c == 'N') return Facts(c == 'X' ? kOtherId : kNewId);
    return FileFacts();
  };
  return FoundNames{at(names[0]), at(names[1]), at(names[2])};
}

// Repairs as letters: '.' nothing, 'n' delete the new file, 'P' put back,
// 'R' restore the aside copy, 'a' delete the added file, 'A' delete the
// aside copy, 'L' lost.
char Letter(FileRepair repair) {
  switch (repair) {
    case FileRepair::kNothing: return '.';
    case FileRepair::kDeleteNewFile: return 'n';
    case FileRepair::kPutBack: return 'P';
    case FileRepair::kRestoreAside: return 'R';
    case FileRepair::kDeleteAdded: return 'a';
    case FileRepair::kDeleteAside: return 'A';
    case FileRepair::kLost: return 'L';
  }
  return '?';
}

// The repairs of a decision, in order, as letters.
std::string Letters(const RecoveryDecision& decision) {
  std::string letters;
  for (const FileDecision& file : decision.files) letters += Letter(file.repair);
  return letters;
}

struct Case {
  const char* names;
  // Per change (replacement, removal, added): the repairs of an undo, and of a finish.
  const char* undo[3];
  const char* finish[3];
  // Whether a pending put-back still waits for the restart.
  bool waits[3];
};

// Every combination of what the three names hold.
const Case kCases[] = {
    // names  undo            finish               waits
    {"---", {"L", "L", "."}, {".", ".", "."}, {false, false, false}},
    {"--N", {"L", "L", "n"}, {"n", "n", "n"}, {false, false, false}},
    {"-O-", {"R", "R", "."}, {"A", "A", "."}, {true, true, false}},
    {"-ON", {"R", "R", "n"}, {"An", "An", "n"}, {true, true, false}},
    {"-X-", {"L", "L", "."}, {".", ".", "."}, {false, false, false}},
    {"-XN", {"L", "L", "n"}, {"n", "n", "n"}, {false, false, false}},
    {"O--", {".", ".", "a"}, {".", ".", "."}, {false, false, false}},
    {"O-N", {"n", ".", "n"}, {"n", "n", "n"}, {false, false, false}},
    // The old file under both names (a hard link): it is in its place.
    {"OO-", {".", ".", "a"}, {"A", "A", "."}, {false, false, false}},
    {"OON", {"n", ".", "n"}, {"An", "An", "n"}, {false, false, false}},
    {"OX-", {".", ".", "a"}, {".", ".", "."}, {false, false, false}},
    {"OXN", {"n", ".", "n"}, {"n", "n", "n"}, {false, false, false}},
    {"X--", {"L", "L", "a"}, {".", ".", "."}, {false, false, false}},
    {"X-N", {"L", "L", "n"}, {"n", "n", "n"}, {false, false, false}},
    // A removed file's name taken by someone else's file: that file stays.
    {"XO-", {"P", "L", "a"}, {"A", "A", "."}, {true, true, false}},
    {"XON", {"P", "L", "n"}, {"An", "An", "n"}, {true, true, false}},
    {"XX-", {"L", "L", "a"}, {".", ".", "."}, {false, false, false}},
    {"XXN", {"L", "L", "n"}, {"n", "n", "n"}, {false, false, false}},
};

RecoveryDecision DecideOne(Change change, const char* names, std::vector<RecordKind> after) {
  DecodedJournal journal;
  journal.records = {BeginRecord(), FileRecord(change)};
  for (const RecordKind kind : after) journal.records.push_back(Record(kind));
  return DecideRecovery(journal, {Found(names)});
}

TEST(RecoveryDecision, OneFileInEveryStateOfItsNames) {
  for (const Case& c : kCases) {
    for (const Change change : {Change::kReplacement, Change::kRemoval, Change::kAdded}) {
      const int column = static_cast<int>(change);
      SCOPED_TRACE(std::string(c.names) + " change " + std::to_string(column));

      const RecoveryDecision undo = DecideOne(change, c.names, {});
      EXPECT_EQ(undo.mode, Mode::kUndo);
      EXPECT_EQ(Letters(undo), c.undo[column]);

      const RecoveryDecision finish = DecideOne(change, c.names, {RecordKind::kCommit});
      EXPECT_EQ(finish.mode, Mode::kFinish);
      EXPECT_EQ(Letters(finish), c.finish[column]);
      for (const FileDecision& file : finish.files) EXPECT_EQ(file.record, 1u);

      const RecoveryDecision pending = DecideOne(change, c.names, {RecordKind::kRollbackPending});
      if (c.waits[column]) {
        EXPECT_EQ(pending.mode, Mode::kWaitForRestart);
        EXPECT_TRUE(pending.files.empty());
      } else {
        EXPECT_EQ(pending.mode, Mode::kUndo);
        EXPECT_EQ(Letters(pending), c.undo[column]);
      }

      // An ended journal is done with, whatever it says before.
      for (const std::vector<RecordKind>& ended :
           {std::vector<RecordKind>{RecordKind::kEnd},
            std::vector<RecordKind>{RecordKind::kCommit, RecordKind::kEnd},
            std::vector<RecordKind>{RecordKind::kRollbackPending, RecordKind::kEnd}}) {
        const RecoveryDecision none = DecideOne(change, c.names, ended);
        EXPECT_EQ(none.mode, Mode::kNone);
        EXPECT_TRUE(none.files.empty());
      }
    }
  }
}

// Three files, the journal's records around them; each found in the state
// a killed run leaves: the first replaced, the second renamed aside only,
// the third not reached.
struct ThreeFiles {
  DecodedJournal journal;
  std::vector<FoundNames> found = {Found("XO-"), Found("-ON"), Found("O-N")};
  ThreeFiles() {
    journal.records = {BeginRecord(), FileRecord(Change::kReplacement, L"a.dll"), RegistryRecord(),
                       FileRecord(Change::kReplacement, L"b.dll"), FileRecord(Change::kReplacement, L"c.dll")};
  }
};

std::vector<size_t> RecordsOf(const RecoveryDecision& decision) {
  std::vector<size_t> records;
  for (const FileDecision& file : decision.files) records.push_back(file.record);
  return records;
}

TEST(RecoveryDecision, AnUndoGoesBackwardsRestoresTheRegistryAndStartsWhatRan) {
  ThreeFiles three;
  const RecoveryDecision undo = DecideRecovery(three.journal, three.found);
  EXPECT_EQ(undo.mode, Mode::kUndo);
  EXPECT_EQ(RecordsOf(undo), (std::vector<size_t>{4, 3, 1}));
  EXPECT_EQ(Letters(undo), "nRP");
  EXPECT_EQ(undo.snapshot, L"registry.snapshot");
  EXPECT_EQ(undo.runningServices, (std::vector<std::wstring>{L"QVLDms", L"QVLDs"}));
  EXPECT_TRUE(undo.relaunchRecorder);

  // Killed before the registry's snapshot was taken: nothing to restore there.
  three.journal.records.erase(three.journal.records.begin() + 2);
  const RecoveryDecision early = DecideRecovery(three.journal, three.found);
  EXPECT_EQ(RecordsOf(early), (std::vector<size_t>{3, 2, 1}));
  EXPECT_TRUE(early.snapshot.empty());
}

TEST(RecoveryDecision, AFinishGoesForwardsAndLeavesTheRegistryAsItIs) {
  ThreeFiles three;
  three.journal.records.push_back(Record(RecordKind::kCommit));
  three.found = {Found("XO-"), Found("X--"), Found("XO-")};
  const RecoveryDecision finish = DecideRecovery(three.journal, three.found);
  EXPECT_EQ(finish.mode, Mode::kFinish);
  EXPECT_EQ(RecordsOf(finish), (std::vector<size_t>{1, 3, 4}));
  EXPECT_EQ(Letters(finish), "A.A");
  EXPECT_TRUE(finish.snapshot.empty());
  EXPECT_EQ(finish.runningServices, (std::vector<std::wstring>{L"QVLDms", L"QVLDs"}));
  EXPECT_TRUE(finish.relaunchRecorder);
}

TEST(RecoveryDecision, AFinishCarriesTheRecordsIdentityAndBothModesTheWorkFolder) {
  ThreeFiles three;
  JournalRecord folder = Record(RecordKind::kWorkFolder);
  folder.workFolder = L"C:\\temp\\updater.exe.tmp";
  folder.workFolderFacts = Facts(kOtherId);
  three.journal.records.insert(three.journal.records.begin() + 2, folder);
  const RecoveryDecision undo = DecideRecovery(three.journal, three.found);
  EXPECT_EQ(undo.mode, Mode::kUndo);
  EXPECT_EQ(undo.workFolder, folder.workFolder);
  EXPECT_TRUE(IsSameFile(undo.workFolderFacts, Facts(kOtherId)));
  EXPECT_TRUE(undo.version.empty());

  JournalRecord commit = Record(RecordKind::kCommit);
  commit.patchId = L"EP1";
  commit.productDescription = L"Update";
  commit.version = L"2.2.3.04170";
  three.journal.records.push_back(commit);
  const RecoveryDecision finish = DecideRecovery(three.journal, three.found);
  EXPECT_EQ(finish.mode, Mode::kFinish);
  EXPECT_EQ(finish.patchId, L"EP1");
  EXPECT_EQ(finish.productDescription, L"Update");
  EXPECT_EQ(finish.version, L"2.2.3.04170");
  EXPECT_EQ(finish.workFolder, folder.workFolder);
}

TEST(RecoveryDecision, APendingPutBackWaitsUntilEveryFileIsBack) {
  ThreeFiles three;
  three.journal.records.push_back(Record(RecordKind::kRollbackPending));
  // One file still held by its replacement: the restart has not come.
  three.found = {Found("O--"), Found("XO-"), Found("O--")};
  const RecoveryDecision waiting = DecideRecovery(three.journal, three.found);
  EXPECT_EQ(waiting.mode, Mode::kWaitForRestart);
  EXPECT_TRUE(waiting.files.empty());
  EXPECT_TRUE(waiting.snapshot.empty());
  EXPECT_TRUE(waiting.runningServices.empty());

  // After the restart: the undo finds little to do, and restores the registry.
  three.found[1] = Found("O--");
  const RecoveryDecision after = DecideRecovery(three.journal, three.found);
  EXPECT_EQ(after.mode, Mode::kUndo);
  EXPECT_EQ(Letters(after), "...");
  EXPECT_EQ(after.snapshot, L"registry.snapshot");
  EXPECT_EQ(after.runningServices.size(), 2u);
}

TEST(RecoveryDecision, OfACommitAndAPendingPutBackTheOneWrittenLastCounts) {
  ThreeFiles three;
  three.found = {Found("XO-"), Found("XO-"), Found("XO-")};
  three.journal.records.push_back(Record(RecordKind::kCommit));
  three.journal.records.push_back(Record(RecordKind::kRollbackPending));
  EXPECT_EQ(DecideRecovery(three.journal, three.found).mode, Mode::kWaitForRestart);
  std::swap(three.journal.records[5], three.journal.records[6]);
  EXPECT_EQ(DecideRecovery(three.journal, three.found).mode, Mode::kFinish);
}

TEST(RecoveryDecision, NothingToDoWithoutRecordsAndNothingTouchedForFilesNotLookedAt) {
  EXPECT_EQ(DecideRecovery(DecodedJournal(), {}).mode, Mode::kNone);
  // Fewer findings than file records: the rest count as found nowhere.
  ThreeFiles three;
  const RecoveryDecision undo = DecideRecovery(three.journal, {Found("XON")});
  EXPECT_EQ(Letters(undo), "LLP");
}

}  // namespace
