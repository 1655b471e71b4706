#include "base/portable/recovery_decision.h"

namespace {

// What undoes one uncommitted file record, from what its names hold now.
FileRepair UndoRepair(const JournalRecord& record, const FoundNames& found) {
  const bool destinationIsOld = IsSameFile(found.destination, record.old);
  const bool asideIsOld = IsSameFile(found.aside, record.old);
  if (!record.old.exists) {  // a file the update adds
    if (found.newFile.exists) return FileRepair::kDeleteNewFile;
    return found.destination.exists ? FileRepair::kDeleteAdded : FileRepair::kNothing;
  }
  if (destinationIsOld) {
    return !record.removal && found.newFile.exists ? FileRepair::kDeleteNewFile : FileRepair::kNothing;
  }
  if (asideIsOld && !found.destination.exists) return FileRepair::kRestoreAside;
  // Only a replacement put a file of ours in the old one's place; what holds
  // the name of a removed file is someone else's and stays.
  if (asideIsOld && !record.removal) return FileRepair::kPutBack;
  return FileRepair::kLost;
}

// Whether a put-back of this record is still to come: the old file waits
// under its aside name and something else (or nothing) holds its place.
bool AwaitsPutBack(const JournalRecord& record, const FoundNames& found) {
  return IsSameFile(found.aside, record.old) && !IsSameFile(found.destination, record.old);
}

}  // namespace

RecoveryDecision DecideRecovery(const DecodedJournal& journal, const std::vector<FoundNames>& found) {
  RecoveryDecision decision;
  const JournalRecord* begin = nullptr;
  const JournalRecord* registry = nullptr;
  const JournalRecord* commit = nullptr;
  const JournalRecord* workFolder = nullptr;
  // Of a commit and a pending put-back, the one written last tells where the run was.
  RecordKind outcome = RecordKind::kBegin;
  std::vector<size_t> files;  // indexes of the file records
  for (size_t i = 0; i < journal.records.size(); ++i) {
    const JournalRecord& record = journal.records[i];
    switch (record.kind) {
      case RecordKind::kEnd:
        return decision;
      case RecordKind::kBegin:
        if (begin == nullptr) begin = &record;
        break;
      case RecordKind::kFile:
        files.push_back(i);
        break;
      case RecordKind::kRegistry:
        registry = &record;
        break;
      case RecordKind::kCommit:
        commit = &record;
        outcome = record.kind;
        break;
      case RecordKind::kRollbackPending:
        outcome = record.kind;
        break;
      case RecordKind::kWorkFolder:
        workFolder = &record;
        break;
    }
  }
  if (journal.records.empty()) return decision;

  // A record with no entry in `found` has nothing found under its names.
  static const FoundNames kNothingFound;
  const auto foundFor = [&](size_t nth) -> const FoundNames& { return nth < found.size() ? found[nth] : kNothingFound; };

  if (outcome == RecordKind::kRollbackPending) {
    for (size_t nth = 0; nth < files.size(); ++nth) {
      if (AwaitsPutBack(journal.records[files[nth]], foundFor(nth))) {
        decision.mode = RecoveryDecision::Mode::kWaitForRestart;
        return decision;
      }
    }
  }
  if (begin != nullptr) {
    decision.runningServices = begin->runningServices;
    decision.relaunchRecorder = begin->relaunchRecorder;
  }
  if (workFolder != nullptr) {
    decision.workFolder = workFolder->workFolder;
    decision.workFolderFacts = workFolder->workFolderFacts;
  }

  if (outcome == RecordKind::kCommit) {
    decision.mode = RecoveryDecision::Mode::kFinish;
    decision.patchId = commit->patchId;
    decision.productDescription = commit->productDescription;
    decision.version = commit->version;
    for (size_t nth = 0; nth < files.size(); ++nth) {
      const JournalRecord& record = journal.records[files[nth]];
      const FoundNames& names = foundFor(nth);
      const bool asideIsOld = IsSameFile(names.aside, record.old);
      if (asideIsOld) decision.files.push_back({files[nth], FileRepair::kDeleteAside});
      if (names.newFile.exists) decision.files.push_back({files[nth], FileRepair::kDeleteNewFile});
      if (!asideIsOld && !names.newFile.exists) decision.files.push_back({files[nth], FileRepair::kNothing});
    }
    return decision;
  }

  decision.mode = RecoveryDecision::Mode::kUndo;
  for (size_t nth = files.size(); nth-- > 0;) {
    decision.files.push_back({files[nth], UndoRepair(journal.records[files[nth]], foundFor(nth))});
  }
  if (registry != nullptr) decision.snapshot = registry->snapshot;
  return decision;
}
