#include "records/version_records.h"

// Not built yet: no version record is written.
bool WritePatchListEntry(const wchar_t*, const wchar_t*, const wchar_t*) { return false; }
void WriteVersionFile(const wchar_t*, const wchar_t*) {}
bool UpdateUninstallEntry() { return false; }
