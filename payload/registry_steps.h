// The registry's part of the update, as steps of the update's list: the
// snapshot of what the import will change, the import itself and the
// compatibility values. A roll-back puts the snapshot back.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "base/portable/step_list.h"

// Keeps the encoded snapshot where the next run finds it (flushed) before
// anything of the registry changes; a failure stops the update.
using SnapshotSaver = std::function<HRESULT(const std::string& encodedSnapshot)>;

// Writes the platform's script into the held work folder, checks and parses
// it, and adds to `list`: the snapshot (saved through `save`), the import
// (the editor waited for, its exit code and the keys it wrote checked) and
// the compatibility values. Nothing of the registry changes here.
HRESULT PlanRegistrySteps(HINSTANCE module, const SnapshotSaver& save, StepList& list);
