// Extraction of one payload resource into the work folder: expanded straight
// from the program's resource memory and stamped with the row's time.
#pragma once
#include <windows.h>

#include <string>

#include "payload/patch_file_entry.h"
#include "payload/work_folder.h"

// Expands the resource of `row` (type PATCH or REG, id |resourceId|) into
// workFolder + the last component of the row's file name. On success returns
// S_OK and the expanded file's path; 0x8007006E when the expanded file cannot
// be opened or the data does not expand (a partly expanded file then stays);
// otherwise the HRESULT of the failing call.
HRESULT ExtractPayload(const std::wstring& workFolder, const PatchFileEntry& row, const wchar_t* resourceType,
                       HINSTANCE module, std::wstring& expandedPath);
