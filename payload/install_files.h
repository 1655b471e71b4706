// Replacement of the installed files with the payload.
#pragma once
#include <windows.h>

#include "payload/portable/digest_table.h"
#include "payload/extract_payload.h"
#include "payload/portable/patch_file_entry.h"

// Expands each row's payload beside the installed file and puts it in its
// place, or removes the installed file for a row without payload. Fails before
// anything is touched when the program's digest table or the work folder
// (which the registry script needs later, and which stays held for it) cannot
// be had; otherwise stops at the first row that fails.
HRESULT InstallFiles(const InstallList& list, HINSTANCE module);

// Puts the checked expansion of `source` in place of the installed file
// `destination`: it is expanded beside it under a temporary name,
// flushed and checked against `expected`, given the installed file's
// attributes and then renamed over it in one step. A destination in use is
// first moved to its aside name, deleted at the next restart once the new file
// is in place. On any failure the installed file is left as it was and no
// temporary file stays behind; kDigestMismatch when the content is not what
// the build made.
HRESULT OverwriteInstalledFile(const PayloadFile& source, const wchar_t* destination, const PayloadDigest& expected);

// Deletes the installed file; one in use is moved aside and deleted at the next restart.
HRESULT RemoveInstalledFile(const wchar_t* destination);
