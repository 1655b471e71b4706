// What the next run does first with a journal that an interrupted update
// left: undo what it changed before its commit, or finish what it left
// after it, and start again what it stopped.
#pragma once
#include <windows.h>

// Reads the journal left behind, if any, and acts on it: without a commit
// every file is put back and the registry snapshot restored; with a commit
// the old copies are deleted; either way the services that were running and
// the recording application are started again and the journal is deleted.
// S_OK when nothing was left or all is done; kRestartNeededForRollback when
// a put-back still waits for a restart (the run must change nothing).
HRESULT RecoverInterruptedUpdate();
