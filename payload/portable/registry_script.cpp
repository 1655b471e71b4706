#include "payload/portable/registry_script.h"

#include <cstddef>

namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

constexpr const wchar_t* kHeader = L"Windows Registry Editor Version 5.00";
constexpr const wchar_t* kRoot = L"HKEY_LOCAL_MACHINE\\";

struct ParseError {
  std::wstring text;
};

// The text as UTF-16 code units, one per wchar_t (also where wchar_t is wider).
// A file without the mark must be ASCII: the scripts are, and any other byte
// would be read through a code page this parser does not know.
bool Decode(const std::vector<uint8_t>& bytes, std::wstring& text, bool& unicode, std::wstring& error) {
  unicode = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
  if (unicode) {
    if (bytes.size() % 2 != 0) {
      error = L"an odd number of bytes in a UTF-16 file";
      return false;
    }
    for (size_t i = 2; i < bytes.size(); i += 2) text.push_back(static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8)));
    return true;
  }
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] > 0x7F) {
      error = L"a byte that is not ASCII at offset " + std::to_wstring(i);
      return false;
    }
    text.push_back(static_cast<wchar_t>(bytes[i]));
  }
  return true;
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(start, end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring TrimEnd(std::wstring text) {
  while (!text.empty() && IsBlank(text.back())) text.pop_back();
  return text;
}

std::wstring TrimStart(const std::wstring& text) {
  size_t at = 0;
  while (at < text.size() && IsBlank(text[at])) ++at;
  return text.substr(at);
}

// Registry names compare without case (ASCII letters are all the scripts use).
bool SameName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'a' && x <= L'z') x = static_cast<wchar_t>(x - 32);
    if (y >= L'a' && y <= L'z') y = static_cast<wchar_t>(y - 32);
    if (x != y) return false;
  }
  return true;
}

void AppendUnit(std::vector<uint8_t>& data, wchar_t unit) {
  data.push_back(static_cast<uint8_t>(unit & 0xFF));
  data.push_back(static_cast<uint8_t>((unit >> 8) & 0xFF));
}

std::vector<uint8_t> StringData(const std::wstring& text) {
  std::vector<uint8_t> data;
  for (wchar_t c : text) AppendUnit(data, c);
  AppendUnit(data, L'\0');
  return data;
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// A quoted text from `at` (at its opening quote) with \\ and \" undone;
// `at` ends after the closing quote.
std::wstring Unquote(const std::wstring& line, size_t& at) {
  if (at >= line.size() || line[at] != L'"') throw ParseError{L"no opening quote"};
  std::wstring out;
  for (++at; at < line.size(); ++at) {
    wchar_t c = line[at];
    if (c == L'"') {
      ++at;
      return out;
    }
    if (c == L'\\') {
      if (++at >= line.size()) break;
      c = line[at];
      if (c != L'\\' && c != L'"') throw ParseError{L"an unknown escape \\" + std::wstring(1, c)};
    }
    out.push_back(c);
  }
  throw ParseError{L"no closing quote"};
}

// "hh,hh,..." bytes, with nothing else; an empty list is no bytes.
std::vector<uint8_t> HexBytes(const std::wstring& list) {
  std::vector<uint8_t> bytes;
  const std::wstring text = TrimEnd(list);
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    const int high = at < text.size() ? HexDigit(text[at]) : -1;
    const int low = at + 1 < text.size() ? HexDigit(text[at + 1]) : -1;
    if (high < 0 || low < 0) throw ParseError{L"bad hex data"};
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    at += 2;
    while (at < text.size() && IsBlank(text[at])) ++at;
    if (at == text.size()) break;
    if (text[at] != L',') throw ParseError{L"bad hex data"};
    if (++at == text.size()) throw ParseError{L"bad hex data"};  // a comma ends the value
  }
  return bytes;
}

// "hex:" or "hex(N):" from `at`; the type, and `at` after the colon.
uint32_t HexType(const std::wstring& line, size_t& at) {
  at += 3;
  if (at < line.size() && line[at] == L':') {
    ++at;
    return kRegBinary;
  }
  if (at >= line.size() || line[at] != L'(') throw ParseError{L"an unknown value type"};
  uint32_t type = 0;
  size_t digits = 0;
  for (++at; at < line.size() && HexDigit(line[at]) >= 0; ++at, ++digits) {
    type = type * 16 + static_cast<uint32_t>(HexDigit(line[at]));
  }
  if (digits == 0 || digits > 8 || at + 1 >= line.size() || line[at] != L')' || line[at + 1] != L':') {
    throw ParseError{L"an unknown value type"};
  }
  at += 2;
  return type;
}

uint32_t Dword(const std::wstring& digits) {
  const std::wstring text = TrimEnd(digits);
  if (text.empty() || text.size() > 8) throw ParseError{L"bad dword data"};
  uint32_t value = 0;
  for (wchar_t c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) throw ParseError{L"bad dword data"};
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  return value;
}

class Parser {
 public:
  Parser(std::vector<std::wstring> lines, bool unicode) : lines_(std::move(lines)), unicode_(unicode) {}

  ParsedScript Run() {
    ParsedScript script;
    try {
      if (lines_.empty() || TrimEnd(lines_[0]) != kHeader) {
        line_ = 0;
        throw ParseError{L"not a \"Windows Registry Editor Version 5.00\" script"};
      }
      for (line_ = 1; line_ < lines_.size(); ++line_) {
        const std::wstring line = TrimStart(lines_[line_]);
        if (line.empty() || line[0] == L';') continue;
        if (line[0] == L'[') {
          Key(TrimEnd(line), script.keys);
        } else {
          if (current_ == nullptr) throw ParseError{L"a value before the first key"};
          Value(line);
        }
      }
    } catch (const ParseError& error) {
      script.keys.clear();
      script.error = L"line " + std::to_wstring(line_ + 1) + L": " + error.text;
      return script;
    }
    script.ok = true;
    return script;
  }

 private:
  void Key(const std::wstring& line, std::vector<ScriptKey>& keys) {
    if (line.back() != L']') throw ParseError{L"a key line without its closing bracket"};
    if (line.size() > 1 && line[1] == L'-') throw ParseError{L"a key deletion"};
    const std::wstring full = line.substr(1, line.size() - 2);
    const std::wstring root(kRoot);
    if (full.size() <= root.size() || !SameName(full.substr(0, root.size()), root)) {
      throw ParseError{L"a key outside HKEY_LOCAL_MACHINE"};
    }
    const std::wstring path = full.substr(root.size());
    for (size_t start = 0;;) {
      const size_t slash = path.find(L'\\', start);
      const size_t end = slash == std::wstring::npos ? path.size() : slash;
      if (end == start) throw ParseError{L"an empty key name"};
      if (slash == std::wstring::npos) break;
      start = slash + 1;
    }
    // A key named again adds to the first naming, as the editor merges them.
    for (ScriptKey& key : keys) {
      if (SameName(key.path, path)) {
        current_ = &key;
        return;
      }
    }
    keys.push_back({path, {}});
    current_ = &keys.back();
  }

  void Value(const std::wstring& line) {
    size_t at = 0;
    ScriptValue value;
    if (line[0] == L'@') {
      at = 1;
    } else {
      value.name = Unquote(line, at);
    }
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at >= line.size() || line[at] != L'=') throw ParseError{L"no '=' after the value's name"};
    ++at;
    while (at < line.size() && IsBlank(line[at])) ++at;
    const std::wstring rest = line.substr(at);
    if (!rest.empty() && rest[0] == L'-') throw ParseError{L"a value deletion"};
    if (!rest.empty() && rest[0] == L'"') {
      size_t end = 0;
      value.type = kRegSz;
      value.data = StringData(Unquote(rest, end));
      if (!TrimEnd(rest.substr(end)).empty()) throw ParseError{L"text after a string"};
    } else if (rest.compare(0, 6, L"dword:") == 0) {
      const uint32_t number = Dword(rest.substr(6));
      value.type = kRegDword;
      for (int shift = 0; shift < 32; shift += 8) value.data.push_back(static_cast<uint8_t>(number >> shift));
    } else if (rest.compare(0, 3, L"hex") == 0) {
      size_t after = 0;
      value.type = HexType(rest, after);
      value.data = HexBytes(Continued(rest.substr(after)));
      // Without the mark the editor reads the bytes of string types as ANSI
      // text and stores each as a UTF-16 character.
      if (!unicode_ && (value.type == kRegExpandSz || value.type == kRegMultiSz)) {
        std::vector<uint8_t> wide;
        for (uint8_t byte : value.data) AppendUnit(wide, static_cast<wchar_t>(byte));
        value.data = std::move(wide);
      }
    } else {
      throw ParseError{L"an unknown value type"};
    }
    // A value named again replaces the first, as the editor writes both in turn.
    for (ScriptValue& known : current_->values) {
      if (SameName(known.name, value.name)) {
        known = std::move(value);
        return;
      }
    }
    current_->values.push_back(std::move(value));
  }

  // The hex list with its continuation lines ("\" at a line's end) joined.
  std::wstring Continued(std::wstring list) {
    list = TrimEnd(list);
    while (!list.empty() && list.back() == L'\\') {
      list.pop_back();
      if (line_ + 1 >= lines_.size()) throw ParseError{L"a continuation at the end of the script"};
      list += TrimEnd(TrimStart(lines_[++line_]));
    }
    return list;
  }

  std::vector<std::wstring> lines_;
  bool unicode_;
  size_t line_ = 0;
  ScriptKey* current_ = nullptr;  // into the keys, which grow only by Key
};

}  // namespace

ParsedScript ParseRegistryScript(const std::vector<uint8_t>& bytes) {
  std::wstring text;
  bool unicode = false;
  std::wstring error;
  if (!Decode(bytes, text, unicode, error)) {
    ParsedScript failed;
    failed.error = error;
    return failed;
  }
  return Parser(SplitLines(text), unicode).Run();
}
