#include "app/update_transaction.h"

#include "base/file_facts.h"
#include "base/folder_handles.h"
#include "base/phase_time.h"
#include "base/trace.h"
#include "payload/file_steps.h"
#include "payload/registry_steps.h"
#include "payload/work_folder.h"

namespace {

constexpr const wchar_t* kSnapshotName = L"registry.snapshot";

JournalRecord BeginRecord(const RunningBefore& before) {
  JournalRecord begin;
  begin.kind = RecordKind::kBegin;
  begin.runningServices = before.services;
  begin.relaunchRecorder = before.recorder;
  return begin;
}

JournalRecord RecordOf(RecordKind kind) {
  JournalRecord record;
  record.kind = kind;
  return record;
}

// The work folder as the next run finds it again, should this one be killed
// and leave it: its path and identity. Nothing when none is held.
void AddWorkFolderRecord(std::vector<JournalRecord>& records) {
  const HANDLE folder = HeldWorkFolder();
  if (folder == nullptr) return;
  JournalRecord record = RecordOf(RecordKind::kWorkFolder);
  record.workFolder = FinalPathOf(folder);
  record.workFolderFacts = FactsOfHandle(folder);
  if (!record.workFolder.empty() && record.workFolderFacts.exists) records.push_back(std::move(record));
}

void TraceStep(const std::wstring& name, int32_t result) {
  Trace(L"%ls: 0x%08lX", name.c_str(), static_cast<unsigned long>(result));
}

}  // namespace

HRESULT UpdateTransaction::Begin(const RunningBefore& before) {
  if (started_) return S_OK;
  HRESULT result = journal_.Start();
  if (SUCCEEDED(result)) {
    started_ = true;
    result = journal_.Append({BeginRecord(before)});
  }
  return result;
}

HRESULT UpdateTransaction::Run(const InstallList& list, HINSTANCE module, const RunningBefore& before,
                               const UpdateIdentity& identity, const std::function<bool()>& cancelled) {
  PhaseTime time(L"installation");
  // The renames are a step per file: their sum is traced as one time.
  DWORD stepStart = GetTickCount();
  DWORD renames = 0;
  changes_.SetObserver([&stepStart, &renames](const std::wstring& name, int32_t stepResult) {
    const DWORD now = GetTickCount();
    if (name.rfind(L"file: ", 0) == 0) renames += now - stepStart;
    stepStart = now;
    TraceStep(name, stepResult);
  });
  // Planned in full before anything changes: a payload or a digest that is
  // missing, a volume that is short of room, a script that cannot be had
  // stop the update here.
  std::vector<JournalRecord> files;
  HRESULT result;
  {
    PhaseTime planning(L"file steps planned");
    result = PlanFileSteps(list, module, files, changes_);
  }
  if (FAILED(result)) return result;
  // The snapshot is saved, and named in the journal, before the registry changes.
  const SnapshotSaver save = [this](const std::string& bytes) -> HRESULT {
    const HRESULT saved = journal_.SaveFile(kSnapshotName, bytes);
    if (FAILED(saved)) return saved;
    JournalRecord registry = RecordOf(RecordKind::kRegistry);
    registry.snapshot = kSnapshotName;
    return journal_.Append({registry});
  };
  {
    PhaseTime planning(L"registry steps planned");
    result = PlanRegistrySteps(module, save, changes_);
  }
  if (FAILED(result)) return result;
  AddWorkFolderRecord(files);

  result = Begin(before);
  if (SUCCEEDED(result)) {
    PhaseTime journaling(L"file records journaled");
    result = journal_.Append(files);
  }
  if (SUCCEEDED(result)) {
    stepStart = GetTickCount();
    result = changes_.Do(cancelled);
    changes_.SetObserver(TraceStep);  // the one above holds this call's locals
    Trace(L"time: file renames %lu ms", static_cast<unsigned long>(renames));
  }
  if (SUCCEEDED(result) && cancelled && cancelled()) result = E_ABORT;
  if (SUCCEEDED(result)) {
    PhaseTime journaling(L"commit journaled");
    JournalRecord commit = RecordOf(RecordKind::kCommit);
    commit.patchId = identity.patchId;
    commit.productDescription = identity.productDescription;
    commit.version = identity.version;
    result = journal_.Append({commit});
  }
  if (SUCCEEDED(result)) {
    committed_ = true;
    Trace(L"transaction: committed");
    return S_OK;
  }
  Trace(L"transaction: rolled back after 0x%08lX", static_cast<unsigned long>(result));
  PhaseTime rollback(L"roll-back");
  restartNeeded_ = changes_.Rollback();
  if (restartNeeded_) {
    journal_.Append({RecordOf(RecordKind::kRollbackPending)});
    Trace(L"transaction: a put-back waits for the next restart");
    return kRestartNeededForRollback;
  }
  return result;
}

HRESULT UpdateTransaction::Finish() {
  PhaseTime time(L"old copies removed");
  return changes_.Finish();
}

void UpdateTransaction::End(bool complete) {
  if (!started_ || restartNeeded_) return;
  if (!complete) {
    Trace(L"transaction: journal kept; the next run finishes what is left");
    return;
  }
  journal_.Append({RecordOf(RecordKind::kEnd)});
  journal_.Delete();
}
