// Payload resources: loaded from the program's memory, and extracted into the
// work folder for what another program reads (the registry script).
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

#include "payload/portable/patch_file_entry.h"
#include "payload/work_folder.h"

// One row's payload: its SZDD data, held in the program's image, and the
// build's time of the file (zero when the row's time is not a valid date).
struct PayloadFile {
  const void* data = nullptr;
  std::size_t size = 0;
  FILETIME time{};
};

// Finds and locks the resource of `row` (type PATCH or REG, id |resourceId|)
// in `module`. S_OK, or the HRESULT of the failing call.
HRESULT LoadPayloadFile(HINSTANCE module, const wchar_t* resourceType, const PatchFileEntry& row,
                        PayloadFile& payload);

// Gives the open file the payload's time (all three times); a payload
// without a valid date leaves the file's times as they are.
void StampPayloadTime(HANDLE file, const PayloadFile& payload);

// Expands the resource of `row` into workFolder + the last component of the
// row's file name, stamped with the row's time. On success returns S_OK and
// the expanded file's path; 0x8007006E when the expanded file cannot be
// opened or the data does not expand (a partly expanded file then stays);
// otherwise the HRESULT of the failing call.
HRESULT ExtractPayload(const std::wstring& workFolder, const PatchFileEntry& row, const wchar_t* resourceType,
                       HINSTANCE module, std::wstring& expandedPath);
