// The registry scripts read back through the product's parse (not the
// generator's writer) and recounted, and the ActiveX class list checked
// against them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "payload/portable/activex_class_ids.h"
#include "payload/portable/patch_file_table.h"
#include "payload/portable/registry_script.h"
#include "tools/registry_script_generator.h"

namespace {

using regscript::ScriptPlatform;

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegMultiSz = 7;

constexpr const char* kRoot = "SOFTWARE\\Classes\\";  // below HKEY_LOCAL_MACHINE

struct Value {
  bool multi = false;                // REG_MULTI_SZ from hex(7), else REG_SZ
  std::vector<std::string> strings;  // one for REG_SZ
};

struct Key {
  std::string path;  // below kRoot
  std::map<std::string, Value> values;  // "@" for the default value
};

struct Script {
  std::vector<std::string> lines;
  std::vector<Key> keys;
  size_t values = 0;
  std::vector<std::string> errors;
  std::map<std::string, const Key*> byPath;

  const Key* Find(const std::string& path) const {
    const auto found = byPath.find(path);
    return found == byPath.end() ? nullptr : found->second;
  }
  std::string Text(const std::string& path, const std::string& name = "@") const {
    const Key* key = Find(path);
    if (key == nullptr || key->values.count(name) == 0) return "<missing>";
    const Value& value = key->values.at(name);
    return value.multi || value.strings.size() != 1 ? "<not a string>" : value.strings[0];
  }
  // Keys whose path has `prefix` and then exactly `depth` more components.
  std::vector<std::string> Children(const std::string& prefix, size_t depth = 1) const {
    std::vector<std::string> out;
    for (const Key& key : keys) {
      if (key.path.compare(0, prefix.size(), prefix) != 0) continue;
      const std::string rest = key.path.substr(prefix.size());
      if (!rest.empty() && static_cast<size_t>(std::count(rest.begin(), rest.end(), '\\')) + 1 == depth) {
        out.push_back(rest);
      }
    }
    return out;
  }
};

std::vector<std::string> SplitCrLf(const std::string& text, std::vector<std::string>& errors) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      errors.push_back("the last line has no CR LF");
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  for (const std::string& line : lines) {
    for (char c : line) {
      if (c < 0x20 || c > 0x7E) errors.push_back("not printable ASCII in: " + line);
    }
  }
  return lines;
}

std::string Narrow(const std::wstring& text, std::vector<std::string>& errors) {
  std::string out;
  for (wchar_t c : text) {
    if (c < 0x20 || c > 0x7E) errors.push_back("not printable ASCII in a name");
    out.push_back(static_cast<char>(c));
  }
  return out;
}

// The UTF-16LE strings of a REG_SZ (one) or REG_MULTI_SZ value, each with its
// terminator, the list with one more; anything else is an error.
std::vector<std::string> Strings(const ScriptValue& value, std::vector<std::string>& errors) {
  std::vector<std::string> strings;
  const std::vector<uint8_t>& data = value.data;
  if (data.size() % 2 != 0) errors.push_back("a string of an odd size");
  std::string current;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    if (data[i + 1] != 0 || (data[i] != 0 && (data[i] < 0x20 || data[i] > 0x7E))) {
      errors.push_back("a string that is not printable ASCII");
    }
    if (data[i] != 0) {
      current.push_back(static_cast<char>(data[i]));
      continue;
    }
    const bool last = i + 2 == data.size();
    if (value.type == kRegSz) {
      if (!last) errors.push_back("bytes after a string's terminator");
      return {current};
    }
    if (current.empty()) {
      if (!last) errors.push_back("bytes after a multi-string's terminator");
      return strings;
    }
    strings.push_back(current);
    current.clear();
  }
  errors.push_back("a string without its terminator");
  return strings;
}

// The lines as regedit lays them out (a blank line before each key and
// nowhere else), and the keys and values as the product's parse reads them.
Script Parse(const std::string& text) {
  Script script;
  script.lines = SplitCrLf(text, script.errors);
  std::vector<std::string>& errors = script.errors;
  if (script.lines.empty() || script.lines[0] != "Windows Registry Editor Version 5.00") errors.push_back("header");
  size_t keyLines = 0, valueLines = 0;
  for (size_t i = 1; i < script.lines.size(); ++i) {
    const std::string& line = script.lines[i];
    if (line.empty()) {
      if (i + 1 >= script.lines.size() || script.lines[i + 1].empty() || script.lines[i + 1][0] != '[') {
        errors.push_back("a blank line not before a key, line " + std::to_string(i + 1));
      }
    } else if (line[0] == '[') {
      ++keyLines;
      if (script.lines[i - 1] != "") errors.push_back("no blank line before " + line);
    } else if (line[0] == '@' || line[0] == '"') {
      ++valueLines;
    }
  }

  const ParsedScript parsed = ParseRegistryScript(std::vector<uint8_t>(text.begin(), text.end()));
  if (!parsed.ok) errors.push_back("not parsed: " + Narrow(parsed.error, errors));
  const std::string root = kRoot;
  size_t& values = script.values;
  for (const ScriptKey& parsedKey : parsed.keys) {
    const std::string path = Narrow(parsedKey.path, errors);
    if (path.compare(0, root.size(), root) != 0) errors.push_back("outside the root: " + path);
    Key key{path.substr(std::min(path.size(), root.size())), {}};
    for (const ScriptValue& parsedValue : parsedKey.values) {
      ++values;
      const std::string name = parsedValue.name.empty() ? "@" : Narrow(parsedValue.name, errors);
      if (parsedValue.type != kRegSz && parsedValue.type != kRegMultiSz) {
        errors.push_back("neither a string nor a multi-string: " + path + " " + name);
      }
      key.values[name] = {parsedValue.type == kRegMultiSz, Strings(parsedValue, errors)};
    }
    script.keys.push_back(key);
  }
  // The parse merges a key or value named twice: the generator names none twice.
  if (script.keys.size() != keyLines) errors.push_back("a key named twice");
  if (values != valueLines) errors.push_back("a value named twice");
  for (const Key& key : script.keys) {
    if (!script.byPath.emplace(key.path, &key).second) errors.push_back("key twice: " + key.path);
  }
  return script;
}

bool IsBracedGuid(const std::string& text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash != (text[i] == '-')) return false;
    if (!dash && !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

// The inverse of the descriptors' GUID compression, written from its definition.
std::string DecodeCompressedGuid(const std::string& code) {
  static const std::string kDigits =
      "!$%&'()*+,-.0123456789=?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[]^_`abcdefghijklmnopqrstuvwxyz{}~";
  uint8_t bytes[16];
  for (size_t word = 0; word < 4; ++word) {
    uint64_t value = 0;
    for (int digit = 4; digit >= 0; --digit) value = value * 85 + kDigits.find(code.at(word * 5 + digit));
    for (size_t b = 0; b < 4; ++b) bytes[word * 4 + b] = static_cast<uint8_t>(value >> (8 * b));
  }
  char text[39];
  std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", bytes[3],
                bytes[2], bytes[1], bytes[0], bytes[5], bytes[4], bytes[7], bytes[6], bytes[8], bytes[9], bytes[10],
                bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
  return text;
}

std::string Narrow(const wchar_t* text) { return std::string(text, text + std::wcslen(text)); }

struct Layout {
  ScriptPlatform platform;
  std::string redirected;  // prefix of CLSID and Interface
  std::string folder;      // the shared library folder, long form
  std::string folder83;    // and short
};

const Layout kLayouts[] = {
    {ScriptPlatform::k32Bit, "", "C:\\Program Files\\Common Files\\Orvane Shared\\QVLLib",
     "C:\\PROGRA~1\\COMMON~1\\ORVANE~1\\QVLLib\\"},
    {ScriptPlatform::k64Bit, "Wow6432Node\\", "C:\\Program Files (x86)\\Common Files\\Orvane Shared\\QVLLib",
     "C:\\PROGRA~2\\COMMON~1\\ORVANE~1\\QVLLib\\"},
};

class RegistryScript : public testing::TestWithParam<Layout> {
 protected:
  void SetUp() override {
    script_ = Parse(regscript::MakeRegistryScript(GetParam().platform));
    for (const std::string& error : script_.errors) ADD_FAILURE() << error;
  }
  std::string Clsid(const std::string& rest = "") const { return GetParam().redirected + "CLSID\\" + rest; }
  std::string Interface(const std::string& rest = "") const {
    return GetParam().redirected + "Interface\\" + rest;
  }
  Script script_;
};

TEST_P(RegistryScript, LinesAndKeysAsRegeditWritesThem) {
  EXPECT_EQ(script_.lines.size(), 621u);
  EXPECT_EQ(script_.keys.size(), 188u);
  EXPECT_EQ(script_.values, 217u);  // 244 value lines, 9 multi-strings of 4
  size_t blanks = 0;
  for (const std::string& line : script_.lines) blanks += line.empty();
  EXPECT_EQ(blanks, 188u);  // one before each key
  // The 119 CLSID and Interface keys are the only ones the platform moves.
  size_t redirected = 0;
  for (const Key& key : script_.keys) {
    const bool moved = key.path.compare(0, Clsid().size(), Clsid()) == 0 ||
                       key.path.compare(0, Interface().size(), Interface()) == 0;
    redirected += moved;
    if (!moved) {
      EXPECT_EQ(key.path.find("Wow6432Node"), std::string::npos) << key.path;
    }
  }
  EXPECT_EQ(redirected, 119u);
}

// `text` with each lower-case hex digit as "h".
std::string HexShape(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) c = 'h';
  }
  return out;
}

std::string Repeat(const std::string& unit, size_t count) {
  std::string out;
  while (count-- > 0) out += unit;
  return out;
}

// regedit breaks hex data after the comma that takes a line to 77 characters
// or more and indents the next line by two spaces: 18 bytes follow
// "InprocServer32"=hex(7): and 25 fill each further line.
TEST_P(RegistryScript, HexDataWrapsWhereRegeditWrapsIt) {
  const std::string name = "\"InprocServer32\"=hex(7):";
  int values = 0;
  for (size_t i = 0; i < script_.lines.size(); ++i) {
    if (script_.lines[i].find("=hex(7):") == std::string::npos) continue;
    ++values;
    SCOPED_TRACE("line " + std::to_string(i + 1));
    ASSERT_LT(i + 3, script_.lines.size());
    const std::string& first = script_.lines[i];
    EXPECT_EQ(first.substr(0, name.size()), name);
    EXPECT_EQ(HexShape(first.substr(name.size())), Repeat("hh,", 18) + "\\");
    EXPECT_EQ(HexShape(script_.lines[i + 1]), "  " + Repeat("hh,", 25) + "\\");
    EXPECT_EQ(HexShape(script_.lines[i + 2]), "  " + Repeat("hh,", 25) + "\\");
    // The rest, 25 bytes at most, ends the value without a continuation.
    const std::string last = HexShape(script_.lines[i + 3]);
    const size_t bytes = (last.size() - 1) / 3;
    ASSERT_TRUE(bytes >= 1 && bytes <= 25) << last;
    EXPECT_EQ(last, "  " + Repeat("hh,", bytes - 1) + "hh");
  }
  EXPECT_EQ(values, 9);
}

TEST_P(RegistryScript, AppIdsOfTheThreeServers) {
  const std::vector<std::string> appIds = script_.Children("AppID\\");
  EXPECT_EQ(appIds.size(), 6u);
  for (const wchar_t* library : kComServerLibraries) {
    const std::string appId = script_.Text("AppID\\" + Narrow(library), "AppID");
    EXPECT_TRUE(IsBracedGuid(appId)) << appId;
    EXPECT_NE(script_.Text("AppID\\" + appId), "<missing>") << appId;
    EXPECT_EQ(script_.Text("AppID\\" + appId, "DllSurrogate"), "");
    // The servers are payload rows of the shared library folder.
    const auto& table = PatchFileTable();
    EXPECT_TRUE(std::any_of(table.begin(), table.end(), [&](const PatchFileEntry& row) {
      return row.folderCode == 20 && row.fileName == library;
    })) << Narrow(library);
  }
}

TEST_P(RegistryScript, NineClassesOneOfThemTheControl) {
  const std::vector<std::string> classes = script_.Children(Clsid());
  ASSERT_EQ(classes.size(), 9u);
  const std::set<std::string> plain = {"InprocServer32", "ProgID", "Programmable", "TypeLib",
                                       "VersionIndependentProgID"};
  std::set<std::string> control = plain;
  control.insert({"Control", "MiscStatus", "ToolboxBitmap32", "Version"});
  int controls = 0;
  for (const std::string& clsid : classes) {
    SCOPED_TRACE(clsid);
    EXPECT_TRUE(IsBracedGuid(clsid));
    EXPECT_NE(script_.Text(Clsid(clsid)), "<missing>");
    const std::vector<std::string> sub = script_.Children(Clsid(clsid + "\\"));
    const std::set<std::string> subKeys(sub.begin(), sub.end());
    const bool isControl = subKeys.count("Control") != 0;
    controls += isControl;
    EXPECT_EQ(subKeys, isControl ? control : plain);

    const std::string server = Clsid(clsid + "\\InprocServer32");
    const std::string library = script_.Text(server);
    EXPECT_EQ(library.compare(0, GetParam().folder.size() + 1, GetParam().folder + "\\"), 0) << library;
    const std::string fileName = library.substr(std::min(library.size(), GetParam().folder.size() + 1));
    EXPECT_TRUE(std::any_of(kComServerLibraries.begin(), kComServerLibraries.end(),
                            [&](const wchar_t* name) { return Narrow(name) == fileName; }))
        << fileName;
    EXPECT_EQ(script_.Text(server, "ThreadingModel"), "Apartment");
    EXPECT_EQ(script_.Text(Clsid(clsid), "AppID"), script_.Text("AppID\\" + fileName, "AppID"));
    const Key* key = script_.Find(server);
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->values.count("InprocServer32"), 1u);
    const Value& descriptor = key->values.at("InprocServer32");
    EXPECT_TRUE(descriptor.multi);
    ASSERT_EQ(descriptor.strings.size(), 1u);
    // Product, feature, ">", component.
    const std::string& text = descriptor.strings[0];
    const size_t mark = text.find('>');
    ASSERT_NE(mark, std::string::npos) << text;
    EXPECT_EQ(text.size() - mark - 1, 20u) << text;
    EXPECT_EQ(DecodeCompressedGuid(text.substr(0, 20)), regscript::kInstallProduct);
    EXPECT_TRUE(IsBracedGuid(DecodeCompressedGuid(text.substr(mark + 1))));
    EXPECT_GT(mark, 20u) << "no feature name in " << text;

    const std::string progId = script_.Text(Clsid(clsid + "\\ProgID"));
    const std::string independent = script_.Text(Clsid(clsid + "\\VersionIndependentProgID"));
    EXPECT_EQ(progId, independent + ".1");
    EXPECT_TRUE(script_.Find("TypeLib\\" + script_.Text(Clsid(clsid + "\\TypeLib"))) != nullptr);
    if (isControl) {
      EXPECT_EQ(fileName, Narrow(kPlayerControlLibrary));
      EXPECT_NE(script_.Find(Clsid(clsid + "\\MiscStatus\\1")), nullptr);
      EXPECT_EQ(script_.Text(Clsid(clsid + "\\ToolboxBitmap32")), library + ", 1");
      EXPECT_EQ(script_.Text(Clsid(clsid + "\\Version")), "1.0");
    }
  }
  EXPECT_EQ(controls, 1);
}

TEST_P(RegistryScript, FifteenInterfacesOfTheTypeLibraries) {
  const std::vector<std::string> interfaces = script_.Children(Interface());
  ASSERT_EQ(interfaces.size(), 15u);
  for (const std::string& iid : interfaces) {
    SCOPED_TRACE(iid);
    EXPECT_TRUE(IsBracedGuid(iid));
    const std::vector<std::string> sub = script_.Children(Interface(iid + "\\"));
    EXPECT_EQ(std::set<std::string>(sub.begin(), sub.end()),
              (std::set<std::string>{"ProxyStubClsid", "ProxyStubClsid32", "TypeLib"}));
    EXPECT_TRUE(IsBracedGuid(script_.Text(Interface(iid + "\\ProxyStubClsid32"))));
    EXPECT_EQ(script_.Text(Interface(iid + "\\TypeLib"), "Version"), "1.0");
    EXPECT_NE(script_.Find("TypeLib\\" + script_.Text(Interface(iid + "\\TypeLib"))), nullptr);
  }
}

TEST_P(RegistryScript, ThreeTypeLibrariesWithShortPaths) {
  const std::vector<std::string> libraries = script_.Children("TypeLib\\");
  ASSERT_EQ(libraries.size(), 3u);
  std::set<std::string> paths;
  for (const std::string& id : libraries) {
    SCOPED_TRACE(id);
    const std::string version = "TypeLib\\" + id + "\\1.0\\";
    const std::vector<std::string> sub = script_.Children(version, 1);
    EXPECT_EQ(std::set<std::string>(sub.begin(), sub.end()), (std::set<std::string>{"0", "FLAGS", "HELPDIR"}));
    const std::string path = script_.Text(version + "0\\win32");
    EXPECT_EQ(path.compare(0, GetParam().folder83.size(), GetParam().folder83), 0) << path;
    const std::string name = path.substr(std::min(path.size(), GetParam().folder83.size()));
    EXPECT_LE(name.size(), 12u) << name;  // 8.3
    EXPECT_EQ(name.find(' '), std::string::npos) << name;
    paths.insert(path);
    EXPECT_EQ(script_.Text(version + "FLAGS"), "0");
    EXPECT_EQ(script_.Text(version + "HELPDIR"), GetParam().folder);
  }
  EXPECT_EQ(paths.size(), 3u);
}

TEST_P(RegistryScript, EighteenProgIdsNineWithCurVer) {
  const std::set<std::string> other = {"AppID", "CLSID", "Interface", "TypeLib", "Wow6432Node"};
  std::set<std::string> classes;
  for (const std::string& clsid : script_.Children(Clsid())) classes.insert(clsid);
  int progIds = 0, curVers = 0;
  for (const std::string& name : script_.Children("")) {
    if (other.count(name) != 0) continue;
    SCOPED_TRACE(name);
    ++progIds;
    const std::vector<std::string> sub = script_.Children(name + "\\");
    EXPECT_EQ(classes.count(script_.Text(name + "\\CLSID")), 1u);
    EXPECT_NE(script_.Text(name), "<missing>");
    if (std::count(sub.begin(), sub.end(), "CurVer") != 0) {
      ++curVers;
      EXPECT_EQ(script_.Text(name + "\\CurVer"), name + ".1");
      EXPECT_EQ(script_.Text(name + ".1\\CLSID"), script_.Text(name + "\\CLSID"));
      EXPECT_EQ(sub.size(), 2u);
    } else {
      EXPECT_EQ(sub, std::vector<std::string>{"CLSID"});
    }
  }
  EXPECT_EQ(progIds, 18);
  EXPECT_EQ(curVers, 9);
}

TEST_P(RegistryScript, EveryPathIsThePlatformsFixedPath) {
  int longPaths = 0, shortPaths = 0;
  for (const Key& key : script_.keys) {
    for (const auto& [name, value] : key.values) {
      for (const std::string& text : value.strings) {
        if (text.find(":\\") == std::string::npos) continue;
        if (text.compare(0, GetParam().folder83.size(), GetParam().folder83) == 0) {
          ++shortPaths;
        } else if (text.compare(0, GetParam().folder.size(), GetParam().folder) == 0) {
          ++longPaths;
        } else {
          ADD_FAILURE() << "another path in " << key.path << ": " << text;
        }
      }
    }
  }
  EXPECT_EQ(longPaths, 9 + 1 + 3);  // InprocServer32, ToolboxBitmap32, HELPDIR
  EXPECT_EQ(shortPaths, 3);         // 0\win32
}

INSTANTIATE_TEST_SUITE_P(Scripts, RegistryScript, testing::ValuesIn(kLayouts),
                         [](const testing::TestParamInfo<Layout>& info) {
                           return info.param.platform == ScriptPlatform::k32Bit ? "Script301" : "Script302";
                         });

// The two scripts differ in the 64-bit folder names and Wow6432Node alone.
TEST(RegistryScripts, DifferOnlyInTheViewAndTheFolders) {
  std::string script = regscript::MakeRegistryScript(ScriptPlatform::k64Bit);
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"Classes\\Wow6432Node\\", "Classes\\"},
                                 {"Program Files (x86)", "Program Files"},
                                 {"PROGRA~2", "PROGRA~1"}}) {
    for (size_t at = script.find(from); at != std::string::npos; at = script.find(from, at + to.size())) {
      script.replace(at, from.size(), to);
    }
  }
  EXPECT_EQ(script, regscript::MakeRegistryScript(ScriptPlatform::k32Bit));
}

TEST(ActiveXClassList, HundredAndEightDistinctIdsSevenOfThemScriptClasses) {
  const auto& ids = ActiveXClassIds();
  std::set<std::string> distinct;
  for (const wchar_t* id : ids) {
    const std::string text = Narrow(id);
    EXPECT_TRUE(IsBracedGuid(text)) << text;
    distinct.insert(text);
  }
  EXPECT_EQ(distinct.size(), 108u);
  for (const Layout& layout : kLayouts) {
    const Script script = Parse(regscript::MakeRegistryScript(layout.platform));
    int listed = 0;
    for (const std::string& clsid : script.Children(layout.redirected + "CLSID\\")) listed += distinct.count(clsid);
    EXPECT_EQ(listed, 7);
  }
}

TEST(InstallerDescriptor, CompressedGuidsDecodeToTheirGuids) {
  for (const std::string guid : {"{00000000-0000-0000-0000-000000000000}", "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}",
                                 "{15DBDB03-9103-4548-9D3E-BB9089A8B1D3}", "{01234567-89AB-CDEF-0123-456789ABCDEF}"}) {
    const std::string code = regscript::CompressedGuid(guid);
    EXPECT_EQ(code.size(), 20u);
    EXPECT_EQ(DecodeCompressedGuid(code), guid);
  }
  EXPECT_EQ(regscript::CompressedGuid("{00000000-0000-0000-0000-000000000000}"), std::string(20, '!'));
  EXPECT_THROW(regscript::CompressedGuid("{0000000-0000-0000-0000-0000000000000}"), std::invalid_argument);
}

}  // namespace
