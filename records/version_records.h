// The records of the installed version: patch list entry, version file, uninstall entry.
// Each returns whether it wrote its record; the finish phase ignores that.
#pragma once

// Under the maker's package key "AppDB\Mirevo": "PatchList\<patch id>" with
// "patchid", "patchname" and "version". Nothing when the package key is missing.
bool WritePatchListEntry(const wchar_t* patchId, const wchar_t* productDescription, const wchar_t* version);

// The product's version file, rewritten with the version first and one more update record.
void WriteVersionFile(const wchar_t* productDescription, const wchar_t* version);

// "DisplayVersion" and "InstallDate" of the product's uninstall entry: the
// 64-bit edition's entry, or the 32-bit edition's only when the first cannot be opened.
bool UpdateUninstallEntry();
