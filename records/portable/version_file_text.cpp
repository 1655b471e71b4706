#include "records/portable/version_file_text.h"

#include <cstdio>
#include <limits>
#include <optional>

namespace {

constexpr std::wstring_view kCounterPrefix = L"UpdateCount=";

bool IsBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// The number at the start of `text` as _wtol reads it: leading blanks, an
// optional sign, then decimal digits up to the first other character; no
// digits give 0, and a number out of range is held at the 32-bit limits.
int32_t ReadLong(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  int64_t value = 0;
  const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                 : std::numeric_limits<int32_t>::max();
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > limit) value = limit;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

// The counter after n, with the two's-complement wrap of the 32-bit sum.
int32_t NextCount(int32_t n) {
  return static_cast<int32_t>(static_cast<uint32_t>(n) + 1u);
}

// One character per byte; what the default "C" locale cannot hold becomes "?".
// Text mode turns each line feed into CR LF.
void AppendText(std::string& out, std::wstring_view text) {
  for (wchar_t c : text) {
    if (c == L'\n') out += '\r';
    out += static_cast<uint32_t>(c) <= 0xFF ? static_cast<char>(c) : '?';
  }
}

// The description comes from a version resource, whose text may hold any
// character: a line break in it would add lines to the file (a counter line
// of its own, for one), so every control character becomes a blank. Checked
// on the wide characters, before they are narrowed to bytes.
std::wstring OnOneLine(std::wstring_view text) {
  std::wstring line(text);
  for (wchar_t& c : line) {
    if (c < L' ' || c == L'\x7F') c = L' ';
  }
  return line;
}

void AppendLine(std::string& out, std::wstring_view text) {
  AppendText(out, text);
  AppendText(out, L"\n");
}

template <typename... Numbers>
std::wstring Printed(const char* format, Numbers... numbers) {
  char buffer[128];
  const int n = std::snprintf(buffer, sizeof buffer, format, static_cast<int>(numbers)...);
  return std::wstring(buffer, buffer + (n > 0 ? n : 0));
}

}  // namespace

std::vector<std::wstring> SplitVersionFileLines(std::string_view bytes) {
  const size_t end = bytes.find('\x1A');
  if (end != std::string_view::npos) bytes = bytes.substr(0, end);
  std::vector<std::wstring> lines;
  size_t begin = 0;
  while (begin < bytes.size()) {
    size_t lineEnd = bytes.find('\n', begin);
    const size_t next = lineEnd == std::string_view::npos ? bytes.size() : lineEnd + 1;
    if (lineEnd == std::string_view::npos) lineEnd = bytes.size();
    std::string_view line = bytes.substr(begin, lineEnd - begin);
    if (lineEnd < bytes.size() && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = line.substr(0, line.find('\0'));
    if (!line.empty()) {
      std::wstring wide;
      wide.reserve(line.size());
      for (char c : line) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
      lines.push_back(std::move(wide));
    }
    begin = next;
  }
  return lines;
}

std::string ComposeVersionFile(const std::vector<std::wstring>& oldLines, std::wstring_view description,
                               std::wstring_view version, const RecordTime& now) {
  std::string out;
  AppendLine(out, version);
  std::optional<int32_t> count;
  for (const std::wstring& line : oldLines) {
    if (std::wstring_view(line).substr(0, kCounterPrefix.size()) == kCounterPrefix) {
      count = NextCount(ReadLong(std::wstring_view(line).substr(kCounterPrefix.size())));
      AppendLine(out, Printed("UpdateCount=%d", *count));
    } else {
      AppendLine(out, line);
    }
  }
  if (!count) {
    count = 1;
    AppendLine(out, L"UpdateCount=1");
  }
  const int32_t n = *count;
  AppendLine(out, Printed("Updated_%d_Date=%d/%d/%d %02d:%02d:%02d", n, now.year, now.month, now.day, now.hour,
                          now.minute, now.second));
  AppendLine(out, Printed("Updated_%d_ProductName=", n) + OnOneLine(description));
  AppendLine(out, Printed("Updated_%d_Version=", n) + std::wstring(version));
  AppendLine(out, Printed("Updated_%d_ProductGUID=", n) + kProductGuid);
  return out;
}

bool RecordsUpdateTo(const std::vector<std::wstring>& lines, std::wstring_view version) {
  if (lines.size() < 3 || version.empty() || lines.front() != version) return false;
  const auto recordLine = [](std::wstring_view line, std::wstring_view tail) {
    constexpr std::wstring_view kRecord = L"Updated_";
    if (line.size() <= kRecord.size() + tail.size() || line.substr(0, kRecord.size()) != kRecord ||
        line.substr(line.size() - tail.size()) != tail) {
      return std::wstring_view();
    }
    return line.substr(kRecord.size(), line.size() - kRecord.size() - tail.size());  // its number
  };
  const std::wstring versionTail = L"_Version=" + std::wstring(version);
  const std::wstring guidTail = std::wstring(L"_ProductGUID=") + kProductGuid;
  const std::wstring_view number = recordLine(lines[lines.size() - 2], versionTail);
  return !number.empty() && number == recordLine(lines.back(), guidTail);
}
