// The records of the installed version: patch list entry, version file, uninstall entry.
#pragma once

bool WritePatchListEntry(const wchar_t* patchId, const wchar_t* productDescription, const wchar_t* version);
void WriteVersionFile(const wchar_t* productDescription, const wchar_t* version);
bool UpdateUninstallEntry();
