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
//
// The steps, and what a failure of each returns:
//  1. "registry snapshot": every key of the script and the 108 compatibility
//     keys, with their missing ancestors, in both views on 64-bit Windows
//     (the one view otherwise), read and handed to `save`. The read's error,
//     or the saver's. Its roll-back puts the snapshot back, and so undoes 2
//     and 3 too.
//  2. "registry import": the editor started on the held script (its start's
//     error), waited for up to kRegistryImportWaitMs (kRegistryEditorTimedOut),
//     its exit code (kRegistryEditorFailed when not 0), then every key and
//     value of the script read back in the view the editor writes, the native
//     one: a key or value that cannot be read gives the read's error
//     (0x80070002 for a missing one), one of another type or data
//     kRegistryValueDiffers. Its roll-back ends an editor that still runs once
//     the wait's time from its start is over, before the snapshot goes back.
//  3. "compatibility values": WriteActiveXCompatibilityFlags, the first
//     failure to create a key or write a value.
// Planning itself fails with the preparation's error (registry_import.h) or
// kRegistryScriptNotParsed.
HRESULT PlanRegistrySteps(HINSTANCE module, const SnapshotSaver& save, StepList& list);

constexpr HRESULT kRegistryEditorTimedOut = HRESULT_FROM_WIN32(WAIT_TIMEOUT);            // 0x80070102
constexpr HRESULT kRegistryEditorFailed = HRESULT_FROM_WIN32(ERROR_REGISTRY_IO_FAILED);  // 0x800703F8
constexpr HRESULT kRegistryValueDiffers = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);        // 0x8007000D
constexpr HRESULT kRegistryScriptNotParsed = HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);       // 0x8007000B
