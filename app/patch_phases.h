// The two phases the worker runs around the installation.
#pragma once
#include <windows.h>

#include "app/patch_context.h"
#include "payload/portable/patch_file_entry.h"

// Notes which component services run, closes what holds the product's files,
// and fills the context's texts.
HRESULT PreparePhase(HRESULT result, HANDLE stopEvent, const InstallList* list, PatchContext* context);

// Registry script, media database, service and application restarts whatever
// the result; records and clean-up only after success. Returns `result` unchanged
// (E_INVALIDARG without a context).
HRESULT FinishPhase(HRESULT result, HANDLE stopEvent, const InstallList* list, PatchContext* context);
