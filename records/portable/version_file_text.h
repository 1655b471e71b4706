// The product's version file as text: the lines kept from the old file and the
// new content with one more update record. 8-bit text, as the C runtime reads
// and writes it in text mode in its default locale.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Local time of an update record, seconds resolution.
struct RecordTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The product GUID written in every update record.
inline constexpr wchar_t kProductGuid[] = L"{5B1E3A7C-92D4-4F08-A6C3-1D7E8F20B94A}";

// The non-empty lines of the file's bytes, in order, without line ends. As in
// text mode: CR LF and LF end a line (a lone CR stays in the line), a last
// line without an end counts, and a Ctrl-Z (0x1A) ends the text. A line ends
// at its first zero byte, as a C string would. Bytes become the characters of
// the same value.
std::vector<std::wstring> SplitVersionFileLines(std::string_view bytes);

// The file's new bytes: the version text on the first line, the old lines in
// order with every "UpdateCount=" line counted on by one (a counter line is
// appended holding 1 when none was there), then the four lines of the update
// record numbered by the counter. Control characters of the description
// (below U+0020, and U+007F) become blanks, so that it stays on its line;
// characters above U+00FF become "?", every line end is CR LF.
std::string ComposeVersionFile(const std::vector<std::wstring>& oldLines, std::wstring_view description,
                               std::wstring_view version, const RecordTime& now);

// Whether the lines already end with the record of an update to `version`
// (the version on the first line, the last record's version and product
// GUID): written by an earlier run that was cut off before it could say so,
// the file is not given the same record twice.
bool RecordsUpdateTo(const std::vector<std::wstring>& lines, std::wstring_view version);
