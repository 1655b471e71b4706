#include "tools/execution_level.h"

#include <cctype>

namespace {

const std::string kElement = "requestedExecutionLevel";

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == ':';
}

// Reads the attributes of a start tag from `at` (just after its name) to its
// closing '>'.
ExecutionLevel ReadAttributes(const std::string& text, std::size_t at) {
  ExecutionLevel found;
  while (at < text.size() && text[at] != '>') {
    if (!IsNameChar(text[at])) {
      ++at;
      continue;
    }
    const std::size_t nameStart = at;
    while (at < text.size() && IsNameChar(text[at])) ++at;
    const std::string name = text.substr(nameStart, at - nameStart);
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    if (at >= text.size() || text[at] != '=') continue;
    ++at;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    if (at >= text.size() || (text[at] != '"' && text[at] != '\'')) continue;
    const char quote = text[at++];
    const std::size_t close = text.find(quote, at);
    if (close == std::string::npos) break;
    const std::string value = text.substr(at, close - at);
    at = close + 1;
    if (name == "level") found.level = value;
    if (name == "uiAccess") found.uiAccess = value;
  }
  return found;
}

}  // namespace

std::vector<ExecutionLevel> FindExecutionLevels(const std::string& manifest) {
  std::vector<ExecutionLevel> levels;
  for (std::size_t open = manifest.find('<'); open != std::string::npos; open = manifest.find('<', open + 1)) {
    if (manifest.compare(open, 4, "<!--") == 0) {
      open = manifest.find("-->", open);
      if (open == std::string::npos) break;
      continue;
    }
    // The tag's name, with any "prefix:" dropped.
    std::size_t end = open + 1;
    while (end < manifest.size() && IsNameChar(manifest[end])) ++end;
    std::string name = manifest.substr(open + 1, end - open - 1);
    const std::size_t colon = name.rfind(':');
    if (colon != std::string::npos) name.erase(0, colon + 1);
    if (name == kElement) levels.push_back(ReadAttributes(manifest, end));
  }
  return levels;
}
