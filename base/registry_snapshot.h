// What an update is about to change in the registry, saved before the
// change and put back on a roll-back: each key's values as they were, and
// which keys did not exist.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "base/portable/registry_snapshot_codec.h"

// Reads the keys `paths` (below HKEY_LOCAL_MACHINE) in `view` (0,
// KEY_WOW64_64KEY or KEY_WOW64_32KEY), with the missing ancestors of each,
// and adds them to `snapshot`. A key that cannot be read fails it.
HRESULT CaptureRegistryKeys(const std::vector<std::wstring>& paths, REGSAM view, RegistrySnapshot& snapshot);

// Puts every key of `snapshot` back as it was: the old values written back,
// values that did not exist deleted, keys that did not exist deleted (the
// deepest first). Goes on after a failure; returns the first.
HRESULT RestoreRegistrySnapshot(const RegistrySnapshot& snapshot);
