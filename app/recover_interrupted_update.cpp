#include "app/recover_interrupted_update.h"

#include <string>
#include <vector>

#include "app/update_records.h"
#include "app/update_transaction.h"
#include "base/file_facts.h"
#include "base/file_moves.h"
#include "base/journal_file.h"
#include "base/phase_time.h"
#include "base/portable/recovery_decision.h"
#include "base/portable/registry_snapshot_codec.h"
#include "base/registry_snapshot.h"
#include "base/trace.h"
#include "base/try_again.h"
#include "control/preparation_steps.h"
#include "control/relaunch.h"
#include "control/service_control.h"
#include "records/removal.h"

namespace {

// Carries out one file's repair; false when the old file could not be put
// back now (it is then put back at the next restart).
bool Repair(const JournalRecord& file, FileRepair repair) {
  switch (repair) {
    case FileRepair::kNothing:
    case FileRepair::kLost:
      return true;
    case FileRepair::kDeleteNewFile:
      DeleteNowOrAtRestart(file.newFile);
      return true;
    case FileRepair::kDeleteAdded:
      DeleteNowOrAtRestart(file.destination);
      return true;
    case FileRepair::kDeleteAside:
      DeleteNowOrAtRestart(file.aside);
      return true;
    case FileRepair::kPutBack:
      // The new file goes back under its new-file name, then away.
      if (!RenameWrittenThrough(file.destination, file.newFile)) {
        PutBackAtRestart(file.aside, file.destination);
        return false;
      }
      DeleteNowOrAtRestart(file.newFile);
      [[fallthrough]];
    case FileRepair::kRestoreAside:
      if (!RenameWrittenThrough(file.aside, file.destination)) {
        PutBackAtRestart(file.aside, file.destination);
        return false;
      }
      if (!file.newFile.empty()) DeleteNowOrAtRestart(file.newFile);
      return true;
  }
  return true;
}

HRESULT RestoreSnapshot(JournalFile& journal, const std::wstring& name) {
  std::string bytes;
  HRESULT result = journal.LoadFile(name, bytes);
  if (FAILED(result)) return result;
  RegistrySnapshot snapshot;
  if (!DecodeRegistrySnapshot(bytes, snapshot)) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  return RestoreRegistrySnapshot(snapshot);
}

const wchar_t* ModeName(RecoveryDecision::Mode mode) {
  switch (mode) {
    case RecoveryDecision::Mode::kNone: return L"nothing to do";
    case RecoveryDecision::Mode::kUndo: return L"undo";
    case RecoveryDecision::Mode::kFinish: return L"finish";
    case RecoveryDecision::Mode::kWaitForRestart: return L"waits for a restart";
  }
  return L"";
}

}  // namespace

HRESULT RecoverInterruptedUpdate() {
  JournalFile journal;
  HRESULT result = JournalFile::Open(journal);
  if (FAILED(result)) {
    // Without the folder there is no journal to act on; the update itself
    // fails later when it cannot write one.
    Trace(L"recovery: journal folder not available: 0x%08lX", static_cast<unsigned long>(result));
    return S_OK;
  }
  DecodedJournal decoded;
  result = journal.Read(decoded);
  if (result == S_FALSE) return S_OK;
  if (FAILED(result)) {
    Trace(L"recovery: journal not readable: 0x%08lX", static_cast<unsigned long>(result));
    return S_OK;
  }
  PhaseTime time(L"recovery");
  std::vector<FoundNames> found;
  for (const JournalRecord& record : decoded.records) {
    if (record.kind != RecordKind::kFile) continue;
    FoundNames names;
    names.destination = FactsOfFile(record.destination);
    names.aside = FactsOfFile(record.aside);
    if (!record.newFile.empty()) names.newFile = FactsOfFile(record.newFile);
    found.push_back(names);
  }
  const RecoveryDecision decision = DecideRecovery(decoded, found);
  Trace(L"recovery: journal of %u records%ls: %ls", static_cast<unsigned>(decoded.records.size()),
        decoded.torn ? L" and a torn one" : L"", ModeName(decision.mode));
  if (decision.mode == RecoveryDecision::Mode::kWaitForRestart) return kRestartNeededForRollback;

  bool restart = false;
  for (const FileDecision& file : decision.files) {
    if (file.record >= decoded.records.size()) continue;
    const JournalRecord& record = decoded.records[file.record];
    if (file.repair == FileRepair::kLost) {
      Trace(L"recovery: the old %ls is nowhere to be found", record.destination.c_str());
    }
    if (!Repair(record, file.repair)) restart = true;
  }
  bool complete = true;
  HRESULT restoreResult = S_OK;
  if (!decision.snapshot.empty()) {
    TryAgainWhileFailing(
        [&] { return SUCCEEDED(restoreResult = RestoreSnapshot(journal, decision.snapshot)); });
    Trace(L"recovery: registry restored: 0x%08lX", static_cast<unsigned long>(restoreResult));
    complete = SUCCEEDED(restoreResult);
  }
  if (restart) {
    JournalRecord pending;
    pending.kind = RecordKind::kRollbackPending;
    journal.Append({pending});
    Trace(L"recovery: a put-back waits for the next restart");
    return kRestartNeededForRollback;
  }
  for (const std::wstring& service : decision.runningServices) {
    if (QueryServiceState(service.c_str()) == SERVICE_RUNNING) continue;
    complete = SUCCEEDED(StartServiceTryingAgain(service.c_str())) && complete;
  }
  if (decision.relaunchRecorder) RelaunchTvRecorder();
  if (decision.mode == RecoveryDecision::Mode::kFinish && !decision.version.empty()) {
    // The records a killed run did not come to write, in its own name.
    const UpdateIdentity identity{decision.patchId, decision.productDescription, decision.version};
    complete = WriteUpdateRecords(identity) && complete;
    RemoveRetiredData();
  }
  if (!decision.workFolder.empty()) {
    const bool removed = RemoveEarlierWorkFolder(decision.workFolder, decision.workFolderFacts);
    Trace(L"recovery: work folder %ls %ls", decision.workFolder.c_str(), removed ? L"removed" : L"left");
  }
  if (!complete) {
    Trace(L"recovery: journal kept; the next run finishes what is left");
    // A registry not put back must not be saved over by this run's own
    // snapshot: the run stops, and the next one restores it again.
    return decision.mode == RecoveryDecision::Mode::kUndo ? restoreResult : S_OK;
  }
  journal.Delete();
  return S_OK;
}
