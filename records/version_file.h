// The product's version file ("Version.txt"): its lines read back and the
// file written again with one more update record.
#pragma once
#include <string>
#include <vector>

// The non-empty lines of the file, in order, without line ends, into `lines`;
// none for a file that is not there. False when the file is there but cannot
// be opened or read to its end: its lines are then unknown, and writing the
// file again would lose them.
bool ReadVersionFileLines(const std::wstring& path, std::vector<std::wstring>& lines);

// Writes the version first, the old lines with the counter counted on, and
// the record of this update; true when the new file took the old one's place.
// A file that cannot be written stays as it was.
bool RewriteVersionFile(const std::wstring& path, const std::vector<std::wstring>& oldLines,
                        const wchar_t* productDescription, const wchar_t* version);
