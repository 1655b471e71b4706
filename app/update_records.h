// What a committed update writes and removes after its point of no return:
// the records that say which version is installed, and what retired
// functions and the run itself left. The update's result never depends on
// them; a failure is tried again at once, and records still not written stay
// in the journal for the next run to write.
#pragma once
#include <string>

// The update that the records name; also carried by the journal's commit, as
// the run that finishes the records may be another program.
struct UpdateIdentity {
  std::wstring patchId;
  std::wstring productDescription;
  std::wstring version;
};

// The patch list entry, the version file (unless it records this update
// already: a run cut off after writing it) and the uninstall entry, each
// tried again while it fails; true when all are written.
bool WriteUpdateRecords(const UpdateIdentity& identity);

// What the retired functions left (outside the Chinese release), the
// "WEBMEDIA" value and the retired help files, each tried again while some
// of it is left; nothing of it is kept for a later run, as users can make
// these again.
void RemoveRetiredData();
