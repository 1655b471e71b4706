#include "payload/file_steps.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "base/background_step.h"
#include "base/file_facts.h"
#include "base/file_moves.h"
#include "base/folded_name.h"
#include "base/last_error.h"
#include "base/phase_time.h"
#include "base/trace.h"
#include "payload/extract_payload.h"
#include "payload/payload_digests.h"
#include "base/portable/aside_name.h"
#include "payload/verified_file.h"

namespace {

// How long a put-back waits for a program that holds the new file.
constexpr DWORD kPutBackRetryMs = 2000;
constexpr DWORD kPutBackPauseMs = 100;
// Room kept free beyond the new files themselves.
constexpr ULONGLONG kRoomMargin = 1u << 20;
constexpr ULONGLONG kCluster = 4096;

struct FilePlan {
  JournalRecord record;
  PayloadFile payload;
  PayloadDigest digest;  // none for a removal
};
using FilePlans = std::vector<FilePlan>;

// A program that holds the file open without delete sharing may let go of it soon.
bool RenameWithRetry(const std::wstring& from, const std::wstring& to) {
  for (DWORD waited = 0;; waited += kPutBackPauseMs) {
    if (RenameWrittenThrough(from, to)) return true;
    if (waited >= kPutBackRetryMs) return false;
    Sleep(kPutBackPauseMs);
  }
}

// Writes every new file under its new-file name and checks it. The next
// file is written while the one before is flushed on a second thread.
class StageNewFilesStep : public Step {
 public:
  explicit StageNewFilesStep(std::shared_ptr<const FilePlans> plans) : plans_(std::move(plans)) {}

  int32_t Do() override {
    PhaseTime time(L"new files written");
    std::unique_ptr<VerifiedFile> pending;
    BackgroundStep completion;
    HRESULT result = S_OK;
    const FilePlan* failed = nullptr;
    for (const FilePlan& plan : *plans_) {
      if (plan.record.removal) continue;
      auto file = std::make_unique<VerifiedFile>();
      written_.push_back(&plan);  // before the write: a half-written file is deleted too
      result = file->Write(plan.payload, plan.record.newFile, plan.digest);
      const HRESULT before = completion.Wait();
      if (FAILED(before)) {
        failed = pendingPlan_;
        result = before;
        break;
      }
      pending.reset();
      if (FAILED(result)) {
        failed = &plan;
        break;
      }
      pendingPlan_ = &plan;
      const DWORD carried = plan.record.old.exists ? plan.record.old.attributes & ~FILE_ATTRIBUTE_ENCRYPTED : 0;
      pending = std::move(file);
      VerifiedFile* job = pending.get();
      completion.Start([job, carried] { return job->Commit(carried); });
    }
    if (SUCCEEDED(result)) {
      result = completion.Wait();
      if (FAILED(result)) failed = pendingPlan_;
    }
    // The row whose new file could not be had is the one not replaced.
    if (failed != nullptr) {
      Trace(L"file: replaced %ls: 0x%08lX", failed->record.destination.c_str(), static_cast<unsigned long>(result));
    }
    return result;
  }

  void Rollback() override {
    for (const FilePlan* plan : written_) DeleteNowOrAtRestart(plan->record.newFile);
    written_.clear();
  }

  std::wstring Name() const override { return L"new files: written"; }

 private:
  std::shared_ptr<const FilePlans> plans_;
  std::vector<const FilePlan*> written_;
  const FilePlan* pendingPlan_ = nullptr;  // the one being flushed
};

// Renames the installed file aside and the new file into its place.
class SwapFileStep : public Step {
 public:
  SwapFileStep(std::shared_ptr<const FilePlans> plans, size_t index) : plans_(std::move(plans)), index_(index) {}

  int32_t Do() override {
    const JournalRecord& file = Record();
    if (file.old.exists) {
      // A file held open without delete sharing cannot be renamed: 0x80070020.
      if (!RenameWrittenThrough(file.destination, file.aside)) return LastErrorResult();
      movedAside_ = true;
    }
    if (!file.removal) {
      if (!RenameWrittenThrough(file.newFile, file.destination)) return LastErrorResult();
      movedIn_ = true;
    }
    return S_OK;
  }

  void Rollback() override {
    const JournalRecord& file = Record();
    if (movedIn_) {
      movedIn_ = false;
      // Back under its new-file name, where the new files' roll-back deletes it.
      if (!RenameWithRetry(file.destination, file.newFile)) {
        // Held open without delete sharing: the old file comes back at the next restart.
        if (movedAside_) {
          PutBackAtRestart(file.aside, file.destination);
        } else {
          MoveFileExW(file.destination.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        }
        movedAside_ = false;
        restart_ = true;
        Trace(L"file: %ls is held; put back at the next restart", file.destination.c_str());
        return;
      }
    }
    if (movedAside_) {
      movedAside_ = false;
      if (!RenameWithRetry(file.aside, file.destination)) {
        PutBackAtRestart(file.aside, file.destination);
        restart_ = true;
        Trace(L"file: %ls cannot be put back now; put back at the next restart", file.destination.c_str());
      }
    }
  }

  // The old copy goes once the update is committed.
  int32_t Finish() override {
    if (!movedAside_) return S_OK;
    movedAside_ = false;
    DeleteNowOrAtRestart(Record().aside);
    return S_OK;
  }

  bool RestartNeeded() const override { return restart_; }
  std::wstring Name() const override {
    return (Record().removal ? L"file: removed " : L"file: replaced ") + Record().destination;
  }

 private:
  const JournalRecord& Record() const { return (*plans_)[index_].record; }

  std::shared_ptr<const FilePlans> plans_;
  size_t index_;
  bool movedAside_ = false;
  bool movedIn_ = false;
  bool restart_ = false;
};

// Whether each volume has room for the new files while the old ones stay.
HRESULT CheckRoom(const FilePlans& plans) {
  std::map<std::wstring, ULONGLONG> needed;
  std::map<std::wstring, std::wstring> volumeOfFolder;  // many files share a folder
  for (const FilePlan& plan : plans) {
    if (plan.record.removal) continue;
    const std::wstring& path = plan.record.destination;
    const std::wstring folder = Folded(path.substr(0, path.find_last_of(L'\\') + 1));
    auto known = volumeOfFolder.find(folder);
    if (known == volumeOfFolder.end()) {
      wchar_t volume[MAX_PATH] = {};
      if (!GetVolumePathNameW(path.c_str(), volume, MAX_PATH)) continue;
      known = volumeOfFolder.emplace(folder, Folded(volume)).first;
    }
    needed[known->second] += (plan.digest.expandedSize + kCluster - 1) / kCluster * kCluster;
  }
  for (const auto& [volume, bytes] : needed) {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(volume.c_str(), &available, nullptr, nullptr)) continue;
    if (available.QuadPart < bytes + kRoomMargin) {
      Trace(L"file: %ls has %llu bytes free, the new files need %llu", volume.c_str(),
            static_cast<unsigned long long>(available.QuadPart), static_cast<unsigned long long>(bytes));
      return kNoRoomForNewFiles;
    }
  }
  return S_OK;
}

}  // namespace

HRESULT PlanFileChanges(const std::vector<FileChange>& changes, std::vector<JournalRecord>& records,
                        StepList& steps) {
  // A file's last change is what it ends as.
  std::map<std::wstring, size_t> last;
  for (size_t i = 0; i < changes.size(); ++i) last[Folded(changes[i].destination)] = i;

  std::vector<std::wstring> destinations;
  for (const FileChange& change : changes) destinations.push_back(change.destination);
  const std::vector<FileFacts> old = FactsOfFiles(destinations);

  auto plans = std::make_shared<FilePlans>();
  const DWORD process = GetCurrentProcessId();
  const DWORD tick = GetTickCount();
  for (size_t i = 0; i < changes.size(); ++i) {
    const FileChange& change = changes[i];
    if (last[Folded(change.destination)] != i) continue;
    FilePlan plan;
    plan.record.kind = RecordKind::kFile;
    plan.record.removal = change.removal;
    plan.record.destination = change.destination;
    plan.record.aside = AsideName(change.destination, process, tick);
    plan.record.old = old[i];
    if (change.removal && !plan.record.old.exists) {
      Trace(L"file: %ls to remove is not there", change.destination.c_str());
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    if (!change.removal) {
      plan.record.newFile = NewFileName(change.destination, process, tick);
      plan.payload = change.payload;
      plan.digest = change.digest;
    }
    plans->push_back(std::move(plan));
  }
  const HRESULT room = CheckRoom(*plans);
  if (FAILED(room)) return room;

  records.clear();
  for (const FilePlan& plan : *plans) records.push_back(plan.record);
  const std::shared_ptr<const FilePlans> shared = std::move(plans);
  steps.Add(std::make_unique<StageNewFilesStep>(shared));
  for (size_t i = 0; i < shared->size(); ++i) steps.Add(std::make_unique<SwapFileStep>(shared, i));
  return S_OK;
}

HRESULT PlanFileSteps(const InstallList& list, HINSTANCE module, std::vector<JournalRecord>& records,
                      StepList& steps) {
  std::vector<PayloadDigest> digests;
  HRESULT result = LoadPayloadDigests(module, digests);
  if (FAILED(result)) {
    Trace(L"file: no digest table: 0x%08lX", static_cast<unsigned long>(result));
    return result;
  }
  std::vector<FileChange> changes;
  for (const PatchFileEntry& row : list) {
    FileChange change;
    change.destination = row.fileName;
    change.removal = row.resourceId == 0;
    if (!change.removal) {
      result = LoadPayloadFile(module, L"PATCH", row, change.payload);
      if (FAILED(result)) {
        Trace(L"file: no payload for %ls: 0x%08lX", row.fileName.c_str(), static_cast<unsigned long>(result));
        return result;
      }
      const PayloadDigest* digest = FindDigest(digests, static_cast<std::uint32_t>(std::abs(row.resourceId)));
      // Nothing unverified is installed.
      if (digest == nullptr) return kDigestMismatch;
      change.digest = *digest;
    }
    changes.push_back(std::move(change));
  }
  return PlanFileChanges(changes, records, steps);
}
