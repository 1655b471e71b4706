// The product's version file ("Version.txt"): its lines read back and the
// file written again with one more update record.
#pragma once
#include <string>
#include <vector>

// The non-empty lines of the file, in order, without line ends; none when the
// file cannot be opened, those read so far after a read error.
std::vector<std::wstring> ReadVersionFileLines(const std::wstring& path);

// Writes the version first, the old lines with the counter counted on, and
// the record of this update; true when the new file took the old one's place.
// A file that cannot be written stays as it was.
bool RewriteVersionFile(const std::wstring& path, const std::vector<std::wstring>& oldLines,
                        const wchar_t* productDescription, const wchar_t* version);
