// The two phases the worker runs around the installation.
#pragma once
#include <windows.h>

#include "app/patch_context.h"
#include "payload/portable/patch_file_entry.h"

// Notes which component services run, closes what holds the product's files,
// and fills the context's texts.
HRESULT PreparePhase(HRESULT result, HANDLE stopEvent, const InstallList* list, PatchContext* context);

// The update's transaction: the files and the registry changed and
// committed, or, on a failure or a stop request before the commit, put back
// as they were. The first failure's HRESULT.
HRESULT InstallUpdate(const InstallList& list, HINSTANCE module, HANDLE stopEvent);

// After a commit the media database and the old copies' removal; whatever
// the result the services and the recording application started again;
// records and clean-up only after success. Returns `result` unchanged
// (E_INVALIDARG without a context).
HRESULT FinishPhase(HRESULT result, HANDLE stopEvent, const InstallList* list, PatchContext* context);
