// The update's changes to the PC as one transaction: planned first, written
// to the journal before they are made, then made in order up to the commit
// record, the point of no return. Any failure or cancellation before it
// undoes, in reverse, everything that was made.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/update_records.h"
#include "base/portable/journal_record.h"
#include "base/portable/step_list.h"
#include "payload/portable/patch_file_entry.h"

// The failure of a roll-back that had to leave a file for the next restart.
#ifndef ERROR_FAIL_REBOOT_REQUIRED
#define ERROR_FAIL_REBOOT_REQUIRED 3017L
#endif
constexpr HRESULT kRestartNeededForRollback = HRESULT_FROM_WIN32(ERROR_FAIL_REBOOT_REQUIRED);  // 0x80070BC9

// Where the transaction keeps what the next run needs: the journal's records
// and the registry snapshot, each flushed before the change it describes.
class UpdateJournal {
 public:
  virtual ~UpdateJournal() = default;
  virtual HRESULT Start() = 0;
  virtual HRESULT Append(const std::vector<JournalRecord>& records) = 0;
  virtual HRESULT SaveFile(const std::wstring& name, const std::string& bytes) = 0;
  // Nothing is left for the next run.
  virtual HRESULT Delete() = 0;
};

// What is started again after the run, whatever its outcome.
struct RunningBefore {
  std::vector<std::wstring> services;
  bool recorder = false;
};

class UpdateTransaction {
 public:
  explicit UpdateTransaction(UpdateJournal& journal) : journal_(journal) {}

  // Starts the journal with what runs now, before anything is stopped: a
  // run killed from here on is undone by the next one, which starts again
  // what this one stopped.
  HRESULT Begin(const RunningBefore& before);
  // Plans the files and the registry, journals the plan, makes the changes
  // and commits; on a failure, or when `cancelled` says so before the
  // commit, rolls them back. The first failure's HRESULT, or
  // kRestartNeededForRollback when a put-back waits for the next restart.
  // The commit record carries `identity`, for the records that follow it.
  HRESULT Run(const InstallList& list, HINSTANCE module, const RunningBefore& before,
              const UpdateIdentity& identity, const std::function<bool()>& cancelled);
  bool Committed() const { return committed_; }
  // After the commit: the old copies deleted (a mapped one at the next restart).
  HRESULT Finish();
  // The journal closed: nothing left for the next run, unless a put-back
  // waits for a restart. `complete` false after a commit whose records or
  // services are not all done: the journal stays, and the next run finishes them.
  void End(bool complete = true);

 private:
  UpdateJournal& journal_;
  StepList changes_;
  bool started_ = false;
  bool committed_ = false;
  bool restartNeeded_ = false;
};
