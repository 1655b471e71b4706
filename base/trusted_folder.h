// A folder the elevated updater can rely on inside a folder that others may
// write to (the user's temporary folder, ProgramData): never a link, owned by
// the administrators or the system, with a protected access list that lets
// no one else change it, and held open without delete sharing so that it
// cannot be renamed or swapped while it is in use.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "base/win32_raii.h"

// Makes the folder `path` (its last component, in the open folder `parent`
// that holds it), or takes the one there when it passes the trust rules;
// anything else of that name is renamed aside first, never deleted, as it
// may hold a user's files. `made` receives the folder held open. `what`
// names the folder in the trace. The HRESULT of the failure when the name
// cannot be had (what holds it cannot be renamed, or is taken again each time).
// `madeBefore`, when given, also accepts an existing folder (never a link)
// that it recognises as the one the updater made on an earlier run: where
// the file system cannot keep the protected owner and access list (Wine
// works them out from the Unix owner and mode), the folder's identity,
// recorded where only administrators can write, stands in for them.
HRESULT TakeTrustedFolder(HANDLE parent, const std::wstring& path, UniqueFileHandle& made, const wchar_t* what,
                          const std::function<bool(HANDLE)>& madeBefore = {});

// Makes the new folder `name` in `parent`, accessible to the system and the
// administrators alone, and holds it open as TakeTrustedFolder does; no
// handle (with the last error set) when an entry of that name exists.
UniqueFileHandle CreateProtectedFolder(HANDLE parent, const std::wstring& name);
