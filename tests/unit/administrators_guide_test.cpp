// The exit-code table of docs/administrators.md against the outcome tables:
// every exit code they define is in it with the English message the run
// shows, and every other code in it is one the program returns outside those
// tables: an exit of its own (std::exit in app/), or a failure that the
// tables report with its code and that the sources name.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/portable/format_with_code.h"
#include "base/portable/hresult.h"
#include "base/portable/outcome.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSourceDir = UPDATER_SOURCE_DIR;
constexpr char kTableHeader[] = "| Exit code | Meaning | Message a user would have seen |";
// The row of every other Windows error; its message carries these digits as written.
constexpr char kWindowsErrorFamily[] = "0x8007xxxx";
constexpr char kNoMessage[] = "none";

// Windows errors that the sources turn into a failure by name
// (HRESULT_FROM_WIN32(NAME) or SetLastError(NAME)), with their numbers.
const std::map<std::string, int32_t> kNamedWindowsErrors = {
    {"ERROR_INVALID_DATA", 13},
    {"ERROR_CANT_ACCESS_FILE", 1920},
};
// The folders of the program's own sources.
const char* const kProgramFolders[] = {"app", "applicability", "base", "control", "payload", "records"};

std::string ReadText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string Hex(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow += static_cast<char>(c);
  return narrow;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

struct Row {
  std::string codeText;  // as written, without the backquotes
  std::optional<uint32_t> code;  // none for the family row
  std::string message;
  std::string line;
};

// The rows of the one table with the header above; a row that does not
// follow the layout fails the test.
std::vector<Row> ExitCodeTable(const std::string& document) {
  std::vector<Row> rows;
  std::istringstream lines(document);
  std::string line;
  int headers = 0;
  bool inTable = false;
  bool separatorSeen = false;
  const std::regex codeCell("`(0x[0-9A-F]{8}|0x8007xxxx)`");
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == kTableHeader) {
      ++headers;
      inTable = true;
      separatorSeen = false;
      continue;
    }
    if (!inTable) continue;
    if (line.empty() || line[0] != '|') {
      inTable = false;
      continue;
    }
    if (!separatorSeen) {
      separatorSeen = true;
      EXPECT_EQ("|---|---|---|", line) << "the line under the table's header";
      continue;
    }
    std::vector<std::string> cells;
    std::string cell;
    std::istringstream split(line.substr(1));
    while (std::getline(split, cell, '|')) cells.push_back(Trimmed(cell));
    if (cells.size() != 3) {
      ADD_FAILURE() << "a row without three cells: " << line;
      continue;
    }
    std::smatch match;
    if (!std::regex_match(cells[0], match, codeCell)) {
      ADD_FAILURE() << "an exit code not written as `0x` and eight upper-case hex digits: " << line;
      continue;
    }
    Row row{match[1].str(), std::nullopt, cells[2], line};
    if (row.codeText != kWindowsErrorFamily) row.code = static_cast<uint32_t>(std::stoul(row.codeText, nullptr, 16));
    rows.push_back(row);
  }
  EXPECT_EQ(1, headers) << "tables with the header " << kTableHeader;
  return rows;
}

// The English catalogue: message id -> text as written in en-US.rc.
std::map<uint32_t, std::string> EnglishMessages() {
  std::map<std::string, uint32_t> ids;
  const std::string header = ReadText(kSourceDir / "resources" / "resource_ids.h");
  const std::regex define("#define (IDS_[A-Z_]+) ([0-9]+)");
  for (std::sregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it) {
    ids[(*it)[1].str()] = static_cast<uint32_t>(std::stoul((*it)[2].str()));
  }
  std::map<uint32_t, std::string> texts;
  const std::string catalogue = ReadText(kSourceDir / "resources" / "strings" / "en-US.rc");
  const std::regex entry("\\n\\s*(IDS_[A-Z_]+)\\s+\"((?:[^\"]|\"\")*)\"");
  for (std::sregex_iterator it(catalogue.begin(), catalogue.end(), entry), end; it != end; ++it) {
    const auto id = ids.find((*it)[1].str());
    if (id != ids.end()) texts[id->second] = (*it)[2].str();
  }
  return texts;
}

// Every source file of the program, concatenated.
std::string ProgramSources() {
  std::string all;
  for (const char* folder : kProgramFolders) {
    for (const auto& entry : fs::recursive_directory_iterator(kSourceDir / folder)) {
      const std::string extension = entry.path().extension().string();
      if (extension == ".cpp" || extension == ".h") all += ReadText(entry.path()) + "\n";
    }
  }
  return all;
}

// The exit codes that app/ gives std::exit.
std::set<uint32_t> DirectExitCodes() {
  std::set<uint32_t> codes;
  const std::regex exitCall("std::exit\\((-?[0-9]+)\\)");
  for (const auto& entry : fs::directory_iterator(kSourceDir / "app")) {
    if (entry.path().extension() != ".cpp") continue;
    const std::string text = ReadText(entry.path());
    for (std::sregex_iterator it(text.begin(), text.end(), exitCall), end; it != end; ++it) {
      codes.insert(static_cast<uint32_t>(std::stol((*it)[1].str())));
    }
  }
  return codes;
}

bool ContainsIgnoringCase(std::string text, std::string part) {
  for (auto* s : {&text, &part}) {
    for (char& c : *s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return text.find(part) != std::string::npos;
}

// Whether the sources name the failure: its value as a literal, or the Windows error it comes from.
bool SourcesNameFailure(const std::string& sources, uint32_t code) {
  if (ContainsIgnoringCase(sources, Hex(code))) return true;
  for (const auto& [name, number] : kNamedWindowsErrors) {
    if (static_cast<uint32_t>(hresult::FromWin32(number)) != code) continue;
    if (sources.find("HRESULT_FROM_WIN32(" + name + ")") != std::string::npos ||
        sources.find("SetLastError(" + name + ")") != std::string::npos) {
      return true;
    }
  }
  return false;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

TEST(AdministratorsGuide, ExitCodeTableMatchesTheOutcomeTables) {
  const std::vector<Row> rows = ExitCodeTable(ReadText(kSourceDir / "docs" / "administrators.md"));
  ASSERT_FALSE(rows.empty()) << "no exit-code table in docs/administrators.md";
  const std::map<uint32_t, std::string> english = EnglishMessages();
  const auto text = [&](uint32_t id) {
    const auto found = english.find(id);
    EXPECT_NE(found, english.end()) << "no English text of message " << id;
    return found == english.end() ? std::string() : found->second;
  };
  const auto rowWith = [&](uint32_t code, const std::string& message, bool exact) {
    for (const Row& row : rows) {
      if (row.code != code) continue;
      if (exact ? row.message == message : row.message.find(message) != std::string::npos) return true;
    }
    return false;
  };

  // Every code of the outcome tables, with its message.
  std::set<uint32_t> defined;
  for (const outcome::CheckOutcome& check : outcome::kCheckOutcomes) {
    const uint32_t code = static_cast<uint32_t>(check.exitCode);
    defined.insert(code);
    EXPECT_TRUE(rowWith(code, Quoted(text(check.messageId)), false))
        << "no row " << Hex(code) << " with message " << check.messageId << " " << Quoted(text(check.messageId));
  }
  for (const outcome::SessionOutcome& session : outcome::kSessionOutcomes) {
    const uint32_t code = static_cast<uint32_t>(session.result);
    defined.insert(code);
    if (session.closing.show) {
      std::string message = text(session.closing.messageId);
      if (session.closing.formatWithCode) message = Narrow(FormatWithCode(std::wstring(message.begin(), message.end()), code));
      EXPECT_TRUE(rowWith(code, Quoted(message), false)) << "no row " << Hex(code) << " with " << Quoted(message);
    } else {
      EXPECT_TRUE(rowWith(code, kNoMessage, true)) << "no row " << Hex(code) << " with message " << kNoMessage;
    }
  }

  // The program's own exits.
  const std::set<uint32_t> exits = DirectExitCodes();
  EXPECT_FALSE(exits.empty()) << "no std::exit found in app/";
  for (uint32_t code : exits) EXPECT_TRUE(rowWith(code, "", false)) << "no row for std::exit(" << code << ")";

  // Everything else is a failure that the tables report with its code.
  const std::string failedText = text(outcome::kFailedMessage.messageId);
  const std::wstring failedFormat(failedText.begin(), failedText.end());
  const std::string sources = ProgramSources();
  int familyRows = 0;
  for (const Row& row : rows) {
    if (!row.code) {
      ++familyRows;
      std::string message = Narrow(FormatWithCode(failedFormat, 0x80070000u));
      message.replace(message.rfind("0000"), 4, "xxxx");
      EXPECT_NE(row.message.find(Quoted(message)), std::string::npos) << row.line;
      continue;
    }
    const uint32_t code = *row.code;
    if (defined.count(code) != 0 || exits.count(code) != 0) continue;
    const outcome::ClosingMessage closing = outcome::ClosingMessageFor(static_cast<int32_t>(code));
    EXPECT_TRUE(static_cast<int32_t>(code) < 0 && closing.show && closing.formatWithCode &&
                closing.messageId == outcome::kFailedMessage.messageId)
        << "a code that neither the outcome tables nor std::exit give and that is no failure: " << row.line;
    const std::string message = Quoted(Narrow(FormatWithCode(failedFormat, code)));
    EXPECT_NE(row.message.find(message), std::string::npos) << row.line << "\nexpected " << message;
    EXPECT_TRUE(SourcesNameFailure(sources, code)) << "the sources do not name " << Hex(code) << ": " << row.line;
  }
  EXPECT_EQ(1, familyRows) << "rows " << kWindowsErrorFamily;
}

}  // namespace
