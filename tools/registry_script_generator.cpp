#include "tools/registry_script_generator.h"

#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "payload/portable/folder_table.h"

// Layout, as regedit writes its files: the header line, then each key as a
// blank line, its "[path]" line and its value lines. No blank line follows
// the last value line; every line, the last too, ends in CR LF.
//
//   header + 188 x (blank + key line)                     = 1 + 376 = 377
//   value lines                                           =           244
//     AppID: 3 library keys x 1 ("AppID")                 =   3
//            3 AppID keys x 2 (@, "DllSurrogate")         =   6
//     CLSID: 9 classes x 10                               =  90
//              class key @ and "AppID", ProgID @,
//              TypeLib @, VersionIndependentProgID @
//              (Programmable has none), InprocServer32:
//              @, "ThreadingModel" and the descriptor
//              multi-string over 4 lines
//            the control: MiscStatus @, MiscStatus\1 @,
//              ToolboxBitmap32 @, Version @ (Control
//              has none)                                  =   4
//     Interface: 15 x 5 (@, ProxyStubClsid @,
//              ProxyStubClsid32 @, TypeLib @ + "Version") =  75
//     TypeLib: 3 x 4 (1.0 @, 0\win32 @, FLAGS @,
//              HELPDIR @; the GUID key and 0 have none)   =  12
//     ProgIDs: 18 keys @ + 18 CLSID @ + 9 CurVer @        =  45
//                                                          -----
//                                                  total     621 lines
//
//   keys: AppID 6 + CLSID 9 x 6 + 5 = 59 + Interface 15 x 4 = 60
//         + TypeLib 3 x 6 (GUID, 1.0, 0, 0\win32, FLAGS, HELPDIR) = 18
//         + ProgIDs 18 + 18 CLSID + 9 CurVer = 45             = 188 keys
//
// A descriptor takes 4 lines when its bytes (1 per character in this ANSI
// file, then the string's and the list's terminators) number 69 to 93,
// regedit's wrap putting 18 bytes on the first line and 25 on each further
// one: 41 characters of GUIDs and ">" plus a feature name of 26 to 50
// characters (Windows Installer allows 38). The feature names are 30, 30 and
// 33 characters long.

namespace regscript {
namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr const char* kClassesRoot = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes";

// regedit breaks a hex value once a line reaches this column; a continuation
// line begins with two spaces.
constexpr size_t kHexWrapColumn = 77;

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; *text != L'\0'; ++text) out.push_back(static_cast<char>(*text));  // ASCII names
  return out;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

// Where the platform's script puts things: the paths are fixed text (drive C:
// and the default folder names), whatever the PC's real folders.
struct PlatformPaths {
  std::string redirectedRoot;  // of CLSID and Interface
  std::string sharedFolder;    // the shared library folder, long form
  std::string sharedFolder83;  // and short form
};

PlatformPaths PathsFor(ScriptPlatform platform) {
  const bool is64 = platform == ScriptPlatform::k64Bit;
  const std::string tail = Narrow(kSharedLibraryFolderTail);  // "\Orvane Shared\QVLLib"
  PlatformPaths paths;
  paths.redirectedRoot = std::string(kClassesRoot) + (is64 ? "\\Wow6432Node" : "");
  paths.sharedFolder = std::string(is64 ? "C:\\Program Files (x86)" : "C:\\Program Files") + "\\Common Files" + tail;
  paths.sharedFolder83 = std::string(is64 ? "C:\\PROGRA~2" : "C:\\PROGRA~1") + "\\COMMON~1\\ORVANE~1\\QVLLib";
  return paths;
}

class ScriptWriter {
 public:
  ScriptWriter() { Line(kHeader); }

  void Key(const std::string& path) {
    Line("");
    Line("[" + path + "]");
    ++keys_;
  }
  void Default(const std::string& text) { Line("@=" + Quoted(text)); }
  void String(const std::string& name, const std::string& text) { Line(Quoted(name) + "=" + Quoted(text)); }

  // A one-string REG_MULTI_SZ. In a file without a UTF-16 byte order mark
  // regedit reads the bytes of hex(7) data as ANSI text and stores them as
  // UTF-16 (as in REGEDIT4 files), so the bytes are the string's characters
  // and two terminators; UTF-16 bytes here would be stored doubled.
  // Wrapped at kHexWrapColumn as regedit does.
  void MultiString(const std::string& name, const std::string& text) {
    std::string bytes = text;
    bytes.append(2, '\0');
    std::string line = Quoted(name) + "=hex(7):";
    for (size_t i = 0; i < bytes.size(); ++i) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(bytes[i]));
      line += hex;
      if (i + 1 == bytes.size()) break;
      line += ',';
      if (line.size() >= kHexWrapColumn) {
        Line(line + "\\");
        line = "  ";
      }
    }
    Line(line);
  }

  std::string Finish() const {
    if (lines_ != kScriptLines || keys_ != kScriptKeys) {
      throw std::logic_error("the registry script has " + std::to_string(lines_) + " lines and " +
                             std::to_string(keys_) + " keys, not " + std::to_string(kScriptLines) + " and " +
                             std::to_string(kScriptKeys));
    }
    return text_;
  }

 private:
  void Line(const std::string& line) {
    text_ += line + "\r\n";
    ++lines_;
  }
  std::string text_;
  int lines_ = 0;
  int keys_ = 0;
};

void WriteAppIds(ScriptWriter& out) {
  for (const ComServer& server : kServers) {
    out.Key(std::string(kClassesRoot) + "\\AppID\\" + Narrow(server.library));
    out.String("AppID", server.appId);
    out.Key(std::string(kClassesRoot) + "\\AppID\\" + server.appId);
    out.Default(server.name);
    out.String("DllSurrogate", "");
  }
}

// Sub-keys in regedit's (alphabetical) order.
void WriteClass(ScriptWriter& out, const PlatformPaths& paths, const ComClass& cls) {
  const ComServer& server = kServers.at(cls.server);
  const std::string library = paths.sharedFolder + "\\" + Narrow(server.library);
  const std::string key = paths.redirectedRoot + "\\CLSID\\" + cls.clsid;
  out.Key(key);
  out.Default(cls.name);
  out.String("AppID", server.appId);
  if (cls.control) out.Key(key + "\\Control");
  out.Key(key + "\\InprocServer32");
  out.Default(library);
  out.String("ThreadingModel", "Apartment");
  out.MultiString("InprocServer32", InstallerDescriptor(server));
  if (cls.control) {
    out.Key(key + "\\MiscStatus");
    out.Default("0");
    out.Key(key + "\\MiscStatus\\1");
    out.Default("131473");  // OLEMISC: activate when visible, inside-out, set client site first...
  }
  out.Key(key + "\\ProgID");
  out.Default(std::string(cls.progId) + ".1");
  out.Key(key + "\\Programmable");
  if (cls.control) {
    out.Key(key + "\\ToolboxBitmap32");
    out.Default(library + ", 1");
  }
  out.Key(key + "\\TypeLib");
  out.Default(server.typeLibId);
  if (cls.control) {
    out.Key(key + "\\Version");
    out.Default("1.0");
  }
  out.Key(key + "\\VersionIndependentProgID");
  out.Default(cls.progId);
}

void WriteInterface(ScriptWriter& out, const PlatformPaths& paths, const ComInterface& itf) {
  const std::string key = paths.redirectedRoot + "\\Interface\\" + itf.iid;
  out.Key(key);
  out.Default(itf.name);
  out.Key(key + "\\ProxyStubClsid");
  out.Default(itf.proxyStub);
  out.Key(key + "\\ProxyStubClsid32");
  out.Default(itf.proxyStub);
  out.Key(key + "\\TypeLib");
  out.Default(kServers.at(itf.server).typeLibId);
  out.String("Version", "1.0");
}

void WriteTypeLib(ScriptWriter& out, const PlatformPaths& paths, const ComServer& server) {
  const std::string key = std::string(kClassesRoot) + "\\TypeLib\\" + server.typeLibId;
  out.Key(key);
  out.Key(key + "\\1.0");
  out.Default(server.typeLibName);
  out.Key(key + "\\1.0\\0");
  out.Key(key + "\\1.0\\0\\win32");
  out.Default(paths.sharedFolder83 + "\\" + server.shortLibrary);
  out.Key(key + "\\1.0\\FLAGS");
  out.Default("0");
  out.Key(key + "\\1.0\\HELPDIR");
  out.Default(paths.sharedFolder);
}

void WriteProgIds(ScriptWriter& out, const ComClass& cls) {
  const std::string independent = std::string(kClassesRoot) + "\\" + cls.progId;
  const std::string versioned = independent + ".1";
  out.Key(independent);
  out.Default(cls.name);
  out.Key(independent + "\\CLSID");
  out.Default(cls.clsid);
  out.Key(independent + "\\CurVer");
  out.Default(std::string(cls.progId) + ".1");
  out.Key(versioned);
  out.Default(cls.name);
  out.Key(versioned + "\\CLSID");
  out.Default(cls.clsid);
}

unsigned HexDigit(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  throw std::invalid_argument(std::string("not a hex digit: ") + c);
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" as its 16 bytes in memory order
// (the first three fields little-endian).
std::array<uint8_t, 16> GuidBytes(const std::string& guid) {
  if (guid.size() != 38 || guid.front() != '{' || guid.back() != '}') throw std::invalid_argument("GUID " + guid);
  std::string hex;
  for (size_t i = 1; i + 1 < guid.size(); ++i) {
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (guid[i] != '-') throw std::invalid_argument("GUID " + guid);
    } else {
      hex.push_back(guid[i]);
    }
  }
  std::array<uint8_t, 16> text{};  // bytes in the order they are written
  for (size_t i = 0; i < 16; ++i) text[i] = static_cast<uint8_t>(HexDigit(hex[2 * i]) << 4 | HexDigit(hex[2 * i + 1]));
  return {text[3], text[2], text[1], text[0], text[5], text[4], text[7], text[6],
          text[8], text[9], text[10], text[11], text[12], text[13], text[14], text[15]};
}

}  // namespace

std::string CompressedGuid(const std::string& guid) {
  static const char kDigits[] =
      "!$%&'()*+,-.0123456789=?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[]^_`abcdefghijklmnopqrstuvwxyz{}~";
  static_assert(sizeof kDigits == 86, "85 digits");
  const std::array<uint8_t, 16> bytes = GuidBytes(guid);
  std::string out;
  for (size_t word = 0; word < 4; ++word) {
    uint32_t value = 0;
    for (size_t b = 0; b < 4; ++b) value |= static_cast<uint32_t>(bytes[word * 4 + b]) << (8 * b);
    for (int digit = 0; digit < 5; ++digit, value /= 85) out.push_back(kDigits[value % 85]);
  }
  return out;
}

std::string InstallerDescriptor(const ComServer& server) {
  return CompressedGuid(kInstallProduct) + server.installFeature + ">" + CompressedGuid(server.installComponent);
}

std::string MakeRegistryScript(ScriptPlatform platform) {
  const PlatformPaths paths = PathsFor(platform);
  ScriptWriter out;
  WriteAppIds(out);
  for (const ComClass& cls : kClasses) WriteClass(out, paths, cls);
  for (const ComInterface& itf : kInterfaces) WriteInterface(out, paths, itf);
  for (const ComServer& server : kServers) WriteTypeLib(out, paths, server);
  for (const ComClass& cls : kClasses) WriteProgIds(out, cls);
  return out.Finish();
}

}  // namespace regscript
