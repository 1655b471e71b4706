// The records of the installed version: patch list entry, version file, uninstall entry.
// Each returns whether it wrote its record, so that a record that could not
// be written is tried again; none changes the update's result.
#pragma once
#include <string>

// Under the maker's package key "AppDB\Mirevo": "PatchList\<patch id>" with
// "patchid", "patchname" and "version". Nothing when the package key is missing.
bool WritePatchListEntry(const wchar_t* patchId, const wchar_t* productDescription, const wchar_t* version);

// The product's version file, rewritten with the version first and one more
// update record; a file that is there but cannot be read stays as it is.
bool WriteVersionFile(const wchar_t* productDescription, const wchar_t* version);

// "DisplayVersion" (`version`) and "InstallDate" (today) of the product's
// uninstall entry: the 64-bit edition's entry, or the 32-bit edition's only
// when the first cannot be opened.
bool UpdateUninstallEntry(const std::wstring& version);
