// The installed files' part of the update, as steps of the update's list.
// Until the commit nothing installed is overwritten or deleted: each old file
// is only renamed to its aside name beside itself, where a roll-back finds it
// with its content, attributes, times, access list and file id.
#pragma once
#include <windows.h>

#include <vector>

#include "base/portable/journal_record.h"
#include "base/portable/step_list.h"
#include "payload/portable/digest_table.h"
#include "payload/extract_payload.h"
#include "payload/portable/patch_file_entry.h"

// The failure when a volume lacks room for the new files.
constexpr HRESULT kNoRoomForNewFiles = HRESULT_FROM_WIN32(ERROR_DISK_FULL);  // 0x80070070

// One installed file to replace with the checked expansion of `payload`, or to remove.
struct FileChange {
  std::wstring destination;
  bool removal = false;
  PayloadFile payload;    // held by the caller (the program's resources) for as long as the steps
  PayloadDigest digest;   // what the expansion must be
};

// Plans `changes` as PlanFileSteps does, from payloads already at hand.
HRESULT PlanFileChanges(const std::vector<FileChange>& changes, std::vector<JournalRecord>& records,
                        StepList& steps);

// Plans the files of `list` into `steps`: first one step that writes and
// checks every new file beside the one it replaces (under its new-file name;
// nothing installed changes), then per row one step that renames the
// installed file to its aside name and the new file into its place (a row
// without payload: only the rename aside). Where a file has several rows,
// its last row counts. `records` receives the journal's record of each file,
// to be written before the list runs. Nothing changes here; fails when the
// program's digest table cannot be read, when a payload has no digest, when a
// file to remove is not there, and with kNoRoomForNewFiles when a volume
// lacks room for the new files next to the old ones.
HRESULT PlanFileSteps(const InstallList& list, HINSTANCE module, std::vector<JournalRecord>& records,
                      StepList& steps);
