// Replacement of the installed files with the payload.
#pragma once
#include <windows.h>

#include "payload/digest_table.h"
#include "payload/patch_file_entry.h"

// Expands each row's payload and puts it in place of the installed file, or
// removes the installed file for a row without payload. Fails before anything
// is touched when the program's digest table or the work folder cannot be
// had; otherwise stops at the first row that fails.
HRESULT InstallFiles(const InstallList& list, HINSTANCE module);

// Puts a checked copy of `source` in place of the installed file
// `destination`: the copy is written beside it under a temporary name,
// flushed and checked against `expected`, given the installed file's
// attributes and then renamed over it in one step. A destination in use is
// first moved to its aside name, deleted at the next restart once the new file
// is in place. On any failure the installed file is left as it was and no
// temporary file stays behind; kDigestMismatch when the copy is not what the
// build made.
HRESULT OverwriteInstalledFile(const wchar_t* source, const wchar_t* destination, const PayloadDigest& expected);

// Deletes the installed file; one in use is moved aside and deleted at the next restart.
HRESULT RemoveInstalledFile(const wchar_t* destination);
