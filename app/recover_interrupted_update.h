// What the next run does first with a journal that an interrupted update
// left: undo what it changed before its commit, or finish what it left
// after it, and start again what it stopped.
#pragma once
#include <windows.h>

// Reads the journal left behind, if any, and acts on it: without a commit
// every file is put back and the registry snapshot restored; with a commit
// the old copies are deleted; either way the services that were running and
// the recording application are started again; with a commit the records
// the run left unwritten are written in its name; the work folder it left
// goes. The journal is deleted once all of it is done, and kept otherwise for
// the next run. S_OK when nothing was left, all is done, or only records or
// service starts of a committed update are left; kRestartNeededForRollback
// when a put-back still waits for a restart, and the restore's failure when
// the registry could not be put back (either way the run must change nothing).
HRESULT RecoverInterruptedUpdate();
