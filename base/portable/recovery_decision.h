// What the next run does with a journal that a run left behind.
#pragma once
#include <vector>

#include "base/portable/journal_record.h"

// What is found now under the three names of one file record.
struct FoundNames {
  FileFacts destination;
  FileFacts aside;
  FileFacts newFile;
};

enum class FileRepair {
  kNothing,            // the old file is in its place, nothing of ours is left
  kDeleteNewFile,      // the old file is in place; the unused new file goes
  kPutBack,            // the new file is in place: it goes, the aside copy comes back
  kRestoreAside,       // the name is free: the aside copy comes back (a new file left goes)
  kDeleteAdded,        // a file the update added goes
  kDeleteAside,        // committed: the old copy goes
  kLost,               // the old file is nowhere: nothing can be done
                       // (also a removed file whose name someone else's file took: both stay)
};

struct FileDecision {
  size_t record = 0;  // index of the file record in the journal
  FileRepair repair = FileRepair::kNothing;
};

struct RecoveryDecision {
  enum class Mode {
    kNone,            // no journal, or one that ended: nothing to do but delete it
    kUndo,            // not committed: every file put back, the registry restored
    kFinish,          // committed: the old copies deleted
    kWaitForRestart,  // a put-back waits for the next restart: change nothing
  };
  Mode mode = Mode::kNone;
  // Per file record, in the order to carry out (the reverse of the journal's for kUndo).
  // A kFinish that finds both an old copy and a new file left of one record
  // has two entries for it (kDeleteAside, then kDeleteNewFile). Empty for
  // kNone and kWaitForRestart.
  std::vector<FileDecision> files;
  std::wstring snapshot;  // the registry snapshot to restore (kUndo), empty when none
  std::vector<std::wstring> runningServices;  // to start again afterwards (kUndo, kFinish)
  bool relaunchRecorder = false;
  // kFinish: the update's identity from the commit (empty when it had none),
  // for the records to be written again.
  std::wstring patchId;
  std::wstring productDescription;
  std::wstring version;
  // kUndo and kFinish: the work folder the run left, when it named one.
  std::wstring workFolder;
  FileFacts workFolderFacts;
};

// `found` holds, for each file record of `journal` in order, what is under its names now
// (a record without an entry counts as found nowhere). Of a kCommit and a
// kRollbackPending, the one written last decides.
RecoveryDecision DecideRecovery(const DecodedJournal& journal, const std::vector<FoundNames>& found);
