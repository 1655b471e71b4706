// The records of the installed version: patch list entry, version file, uninstall entry.
// Each tells whether it wrote its record, so that a record that could not be
// written is tried again; none changes the update's result.
#pragma once
#include <windows.h>

#include <string>

// Under the maker's package key "AppDB\Mirevo": "PatchList\<patch id>" with
// "patchid", "patchname" and "version". S_OK when written; S_FALSE, with
// nothing written, when the package key is missing (the package is not
// there to be listed in); E_INVALIDARG for a missing text (those before it
// are written); else the registry's error.
HRESULT WritePatchListEntry(const wchar_t* patchId, const wchar_t* productDescription, const wchar_t* version);

// The product's version file, rewritten with the version first and one more
// update record; a file that is there but cannot be read stays as it is.
bool WriteVersionFile(const wchar_t* productDescription, const wchar_t* version);

// "DisplayVersion" (`version`) and "InstallDate" (today) of the product's
// uninstall entry: the 64-bit edition's entry, or the 32-bit edition's only
// when the first cannot be opened. S_OK when written; S_FALSE when neither
// entry is there (or the version is empty); else the registry's error (of the
// first entry's opening, when it failed otherwise than by its absence).
HRESULT UpdateUninstallEntry(const std::wstring& version);
