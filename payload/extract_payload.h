// Extraction of one payload resource into the work folder: the compressed
// copy is written, expanded next to it, stamped with the row's time and deleted.
#pragma once
#include <windows.h>

#include <string>

#include "payload/patch_file_entry.h"

// The program's own file name (the work folder is named after it), or
// "%x.%08x" from the process id and the tick count when it cannot be read.
std::wstring WorkFolderName();

// The user's temporary folder + name + ".tmp\", created with any missing
// parents (an existing folder is reused). Ends in a backslash.
std::wstring MakeWorkFolder(const std::wstring& name);

// Expands the resource of `row` (type PATCH or REG, id |resourceId|) into
// workFolder + the last component of the row's file name. On success returns
// S_OK and the expanded file's path; 0x8007006E when either file cannot be
// opened for the expansion or the data does not expand; otherwise the
// HRESULT of the failing call.
HRESULT ExtractPayload(const std::wstring& workFolder, const PatchFileEntry& row, const wchar_t* resourceType,
                       HINSTANCE module, std::wstring& expandedPath);
