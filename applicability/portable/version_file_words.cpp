#include "applicability/portable/version_file_words.h"

namespace {

constexpr size_t kMaxWord = 49;  // a word buffer of 50 characters with its terminator

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::wstring Widen(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  for (char c : bytes) out += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return out;
}

// Returns the next word at or after pos (empty at the end) and moves pos past it.
std::string_view NextWord(std::string_view content, size_t& pos) {
  while (pos < content.size() && IsSpace(content[pos])) ++pos;
  const size_t begin = pos;
  while (pos < content.size() && !IsSpace(content[pos])) ++pos;
  return content.substr(begin, pos - begin);
}

}  // namespace

VersionFileValues ParseVersionFileWords(std::string_view content) {
  VersionFileValues values;
  size_t pos = 0;
  const std::string_view first = NextWord(content, pos);
  if (first.empty()) return values;
  if (first.size() <= kMaxWord) values.installedVersion = Widen(first);
  static constexpr std::string_view kKey = "Version=";
  for (;;) {
    const std::string_view word = NextWord(content, pos);
    if (word.empty()) break;
    if (word.size() <= kMaxWord && word.substr(0, kKey.size()) == kKey) {
      values.versionEntry = Widen(word.substr(kKey.size()));
      break;
    }
  }
  return values;
}
