#include "tools/payload_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "payload/portable/patch_file_table.h"

namespace {

using payload_gen::InstalledVersion;
using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------
// A small bounds-checked reader of what the generator writes: the PE32
// headers, the resource directory down to RT_VERSION/1/1033, and the version
// resource's fixed and string information.

class Reader {
 public:
  explicit Reader(const Bytes& bytes) : bytes_(bytes) {}
  bool Has(size_t at, size_t n) const { return at <= bytes_.size() && n <= bytes_.size() - at; }
  std::uint16_t U16(size_t at) const {
    if (!Has(at, 2)) throw std::out_of_range("read past the end");
    return static_cast<std::uint16_t>(bytes_[at] | bytes_[at + 1] << 8);
  }
  std::uint32_t U32(size_t at) const { return U16(at) | static_cast<std::uint32_t>(U16(at + 2)) << 16; }
  std::string Ascii(size_t at, size_t n) const {
    if (!Has(at, n)) throw std::out_of_range("read past the end");
    return std::string(bytes_.begin() + static_cast<long>(at), bytes_.begin() + static_cast<long>(at + n));
  }
  // UTF-16 text up to its terminator; returns the offset after it in `end`.
  std::string Wide(size_t at, size_t* end) const {
    std::string text;
    for (;; at += 2) {
      const std::uint16_t c = U16(at);
      if (c == 0) break;
      text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    *end = at + 2;
    return text;
  }

 private:
  const Bytes& bytes_;
};

struct Section {
  std::string name;
  std::uint32_t virtualSize, rva, rawSize, rawOffset, flags;
};

struct VersionInfo {
  std::uint64_t fixed = 0;  // major << 48 | minor << 32 | build << 16 | revision
  std::uint32_t fileType = 0;
  std::map<std::string, std::string> strings;  // of the 040904b0 table
  std::uint32_t translation = 0;
};

struct Image {
  std::uint16_t machine = 0, characteristics = 0, magic = 0, subsystem = 0;
  std::uint32_t entryPoint = 0, sectionAlignment = 0, fileAlignment = 0, imageSize = 0, headersSize = 0;
  std::vector<Section> sections;
  std::optional<VersionInfo> version;
};

size_t Align4(size_t v) { return (v + 3) & ~size_t{3}; }

// Walks the children of a version node [start, start + length) after its value.
template <typename Visit>
void Children(const Reader& r, size_t first, size_t end, Visit visit) {
  for (size_t at = Align4(first); at + 6 <= end; at = Align4(at + r.U16(at))) {
    const std::uint16_t length = r.U16(at);
    if (length < 6 || at + length > end) throw std::runtime_error("bad version node length");
    size_t keyEnd;
    const std::string key = r.Wide(at + 6, &keyEnd);
    visit(at, length, key, Align4(keyEnd));
  }
}

VersionInfo ParseVersion(const Reader& r, size_t at, size_t size) {
  VersionInfo info;
  if (r.U16(at) > size) throw std::runtime_error("VS_VERSIONINFO longer than its resource");
  size_t keyEnd;
  if (r.Wide(at + 6, &keyEnd) != "VS_VERSION_INFO") throw std::runtime_error("bad root key");
  const size_t fixed = Align4(keyEnd);
  if (r.U16(at + 2) != 52 || r.U32(fixed) != 0xFEEF04BD) throw std::runtime_error("bad VS_FIXEDFILEINFO");
  info.fixed = static_cast<std::uint64_t>(r.U32(fixed + 8)) << 32 | r.U32(fixed + 12);
  info.fileType = r.U32(fixed + 36);
  Children(r, fixed + 52, at + r.U16(at), [&](size_t node, size_t length, const std::string& key, size_t value) {
    if (key == "StringFileInfo") {
      Children(r, value, node + length, [&](size_t table, size_t tableLength, const std::string& lang, size_t first) {
        if (lang != "040904b0") return;
        Children(r, first, table + tableLength, [&](size_t, size_t, const std::string& name, size_t text) {
          size_t textEnd;
          info.strings[name] = r.Wide(text, &textEnd);
        });
      });
    } else if (key == "VarFileInfo") {
      Children(r, value, node + length, [&](size_t var, size_t, const std::string& name, size_t data) {
        if (name == "Translation" && r.U16(var + 2) == 4) info.translation = r.U32(data);
      });
    }
  });
  return info;
}

// Follows one directory level to the entry with `id`; returns its target.
std::uint32_t DirectoryEntry(const Reader& r, size_t rsrc, size_t offset, std::uint32_t id) {
  const size_t dir = rsrc + offset;
  const size_t count = size_t{r.U16(dir + 12)} + r.U16(dir + 14);
  for (size_t k = 0; k < count; ++k) {
    if (r.U32(dir + 16 + 8 * k) == id) return r.U32(dir + 16 + 8 * k + 4);
  }
  throw std::runtime_error("resource directory entry missing");
}

Image ParseImage(const Bytes& bytes) {
  const Reader r(bytes);
  Image image;
  if (r.Ascii(0, 2) != "MZ") throw std::runtime_error("no MZ signature");
  const size_t pe = r.U32(0x3C);
  if (r.Ascii(pe, 4) != std::string("PE\0\0", 4)) throw std::runtime_error("no PE signature");
  image.machine = r.U16(pe + 4);
  const size_t count = r.U16(pe + 6);
  const size_t optionalSize = r.U16(pe + 20);
  image.characteristics = r.U16(pe + 22);
  const size_t opt = pe + 24;
  image.magic = r.U16(opt);
  image.entryPoint = r.U32(opt + 16);
  image.sectionAlignment = r.U32(opt + 32);
  image.fileAlignment = r.U32(opt + 36);
  image.imageSize = r.U32(opt + 56);
  image.headersSize = r.U32(opt + 60);
  image.subsystem = r.U16(opt + 68);
  if (optionalSize != 0xE0 || r.U32(opt + 92) != 16) throw std::runtime_error("unexpected optional header");
  const std::uint32_t rsrcRva = r.U32(opt + 96 + 16);
  const std::uint32_t rsrcSize = r.U32(opt + 96 + 20);
  const size_t table = opt + optionalSize;
  for (size_t k = 0; k < count; ++k) {
    const size_t s = table + 40 * k;
    std::string name = r.Ascii(s, 8);
    name.resize(std::strlen(name.c_str()));
    image.sections.push_back({name, r.U32(s + 8), r.U32(s + 12), r.U32(s + 16), r.U32(s + 20), r.U32(s + 36)});
    if (!r.Has(image.sections.back().rawOffset, image.sections.back().rawSize)) {
      throw std::runtime_error("section data past the end of the file");
    }
  }
  if (table + 40 * count > image.headersSize) throw std::runtime_error("section table past the headers");
  if (rsrcRva == 0) return image;

  const auto holder = std::find_if(image.sections.begin(), image.sections.end(), [&](const Section& s) {
    return rsrcRva >= s.rva && rsrcRva + rsrcSize <= s.rva + std::max(s.virtualSize, s.rawSize);
  });
  if (holder == image.sections.end()) throw std::runtime_error("resource directory in no section");
  const size_t rsrc = holder->rawOffset + (rsrcRva - holder->rva);
  const std::uint32_t names = DirectoryEntry(r, rsrc, 0, 16);  // RT_VERSION
  if ((names & 0x80000000u) == 0) throw std::runtime_error("RT_VERSION is not a directory");
  const std::uint32_t langs = DirectoryEntry(r, rsrc, names & 0x7FFFFFFF, 1);
  if ((langs & 0x80000000u) == 0) throw std::runtime_error("version 1 is not a directory");
  const std::uint32_t data = DirectoryEntry(r, rsrc, langs & 0x7FFFFFFF, 1033);
  if ((data & 0x80000000u) != 0) throw std::runtime_error("language entry is not data");
  const std::uint32_t dataRva = r.U32(rsrc + data);
  const std::uint32_t dataSize = r.U32(rsrc + data + 4);
  if (dataRva < holder->rva || dataRva + dataSize > holder->rva + holder->rawSize) {
    throw std::runtime_error("version data outside its section");
  }
  const size_t at = holder->rawOffset + (dataRva - holder->rva);
  if (!r.Has(at, dataSize)) throw std::runtime_error("version data past the end");
  image.version = ParseVersion(r, at, dataSize);
  return image;
}

// ---------------------------------------------------------------------------

std::uint64_t Packed(const FileVersion16& v) {
  return std::uint64_t{v.major} << 48 | std::uint64_t{v.minor} << 32 | std::uint64_t{v.build} << 16 | v.revision;
}

std::string Text(std::uint64_t v) {
  return std::to_string(v >> 48) + "." + std::to_string(v >> 32 & 0xFFFF) + "." + std::to_string(v >> 16 & 0xFFFF) +
         "." + std::to_string(v & 0xFFFF);
}

std::string Narrow(const std::wstring& s) { return std::string(s.begin(), s.end()); }

size_t IndexOf(std::int32_t resourceId) { return static_cast<size_t>(resourceId - kFirstPatchResourceId); }

const PatchFileEntry& Row(std::int32_t resourceId) { return PatchFileTable().at(IndexOf(resourceId)); }

// A library, the tray program, a media filter, the main program, the 1.0.0.0
// window, a window ending at revision 65535 and one of the 13 language copies.
const std::int32_t kImageRows[] = {401, 434, 492, 525, 500, 556, 550};

void ExpectStructure(const Image& image, const PatchFileEntry& row, size_t fileSize) {
  SCOPED_TRACE(Narrow(row.fileName));
  const bool program = payload_gen::KindOf(row) == payload_gen::FileKind::kProgram;
  EXPECT_EQ(image.machine, 0x014C);
  EXPECT_EQ(image.magic, 0x010B);
  EXPECT_EQ((image.characteristics & 0x2000) != 0, !program) << "DLL flag";
  EXPECT_NE(image.characteristics & 0x0002, 0) << "executable image";
  EXPECT_EQ(image.subsystem, 2) << "GUI";
  EXPECT_EQ(image.sectionAlignment, 0x1000u);
  EXPECT_EQ(image.fileAlignment, 0x200u);
  ASSERT_FALSE(image.sections.empty());
  EXPECT_EQ(image.sections[0].name, ".text");
  EXPECT_NE(image.sections[0].flags & 0x20000000, 0u) << ".text executable";
  std::uint32_t nextRva = image.sectionAlignment;
  std::uint32_t nextRaw = image.headersSize;
  for (const Section& s : image.sections) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ(s.rva % image.sectionAlignment, 0u);
    EXPECT_GE(s.rva, nextRva) << "sections in ascending order without overlap";
    EXPECT_EQ(s.rawOffset % image.fileAlignment, 0u);
    EXPECT_EQ(s.rawSize % image.fileAlignment, 0u);
    EXPECT_GE(s.rawOffset, nextRaw);
    nextRva = s.rva + std::max(s.virtualSize, 1u);
    nextRaw = s.rawOffset + s.rawSize;
  }
  EXPECT_GE(image.imageSize, nextRva);
  EXPECT_EQ(image.imageSize % image.sectionAlignment, 0u);
  EXPECT_LE(nextRaw, fileSize);
  EXPECT_LT(fileSize - nextRaw, image.fileAlignment) << "only a short overlay after the sections";
  const Section& text = image.sections[0];
  EXPECT_GE(image.entryPoint, text.rva);
  EXPECT_LT(image.entryPoint, text.rva + text.virtualSize);
}

void ExpectStrings(const VersionInfo& info, const PatchFileEntry& row) {
  SCOPED_TRACE(Narrow(row.fileName));
  EXPECT_EQ(info.strings.at("OriginalFilename"), Narrow(row.fileName));
  EXPECT_EQ(info.strings.at("ProductName"), "Mirevo");
  EXPECT_EQ(info.strings.at("CompanyName"), "Orvane Corporation");
  EXPECT_EQ(info.strings.at("FileVersion"), Text(info.fixed));
  EXPECT_FALSE(info.strings.at("FileDescription").empty());
  EXPECT_EQ(info.translation, 0x04B00409u) << "0x0409 with code page 1200";
  EXPECT_EQ(info.fileType, payload_gen::KindOf(row) == payload_gen::FileKind::kProgram ? 1u : 2u);
}

TEST(PayloadGeneratorTest, NewImagesAreWellFormedAndCarryAVersionAboveTheirWindow) {
  for (std::int32_t id : kImageRows) {
    const PatchFileEntry& row = Row(id);
    const Bytes bytes = payload_gen::MakeNewFile(IndexOf(id));
    EXPECT_EQ(bytes.size(), payload_gen::NewFileSize(IndexOf(id)));
    const Image image = ParseImage(bytes);
    ExpectStructure(image, row, bytes.size());
    ASSERT_TRUE(image.version.has_value()) << id;
    EXPECT_GT(image.version->fixed, Packed(row.maxVersion)) << id << ": " << Text(image.version->fixed);
    ExpectStrings(*image.version, row);
  }
}

TEST(PayloadGeneratorTest, InstalledImagesCarryTheChosenVersion) {
  for (std::int32_t id : kImageRows) {
    const PatchFileEntry& row = Row(id);
    SCOPED_TRACE(id);
    const Bytes fresh = payload_gen::MakeNewFile(IndexOf(id));
    for (InstalledVersion choice : {InstalledVersion::kLow, InstalledVersion::kMax}) {
      const Bytes bytes = payload_gen::MakeInstalledFile(IndexOf(id), choice);
      EXPECT_NE(bytes, fresh);
      const Image image = ParseImage(bytes);
      ExpectStructure(image, row, bytes.size());
      ASSERT_TRUE(image.version.has_value());
      EXPECT_GE(image.version->fixed, Packed(row.minVersion)) << Text(image.version->fixed);
      EXPECT_LE(image.version->fixed, Packed(row.maxVersion)) << Text(image.version->fixed);
      ExpectStrings(*image.version, row);
    }
    EXPECT_EQ(ParseImage(payload_gen::MakeInstalledFile(IndexOf(id), InstalledVersion::kMax)).version->fixed,
              Packed(row.maxVersion));
    EXPECT_GT(ParseImage(payload_gen::MakeInstalledFile(IndexOf(id), InstalledVersion::kAbove)).version->fixed,
              Packed(row.maxVersion));
    const Bytes bare = payload_gen::MakeInstalledFile(IndexOf(id), InstalledVersion::kNone);
    const Image image = ParseImage(bare);
    ExpectStructure(image, row, bare.size());
    EXPECT_FALSE(image.version.has_value());
  }
  // Where the window allows it, "low" lies below the maximum.
  EXPECT_LT(ParseImage(payload_gen::MakeInstalledFile(0, InstalledVersion::kLow)).version->fixed,
            Packed(Row(401).maxVersion));
}

// Checks that every tag of `text` is closed in order and that one root
// element holds everything after the declaration.
bool WellFormedXml(const std::string& text) {
  std::vector<std::string> open;
  int roots = 0;
  size_t at = 0;
  if (text.compare(0, 5, "<?xml") != 0) return false;
  while ((at = text.find('<', at)) != std::string::npos) {
    if (text.compare(at, 4, "<!--") == 0) {
      const size_t end = text.find("-->", at + 4);
      if (end == std::string::npos || text.substr(at + 4, end - at - 4).find("--") != std::string::npos) return false;
      at = end + 3;
      continue;
    }
    const size_t end = text.find('>', at);
    if (end == std::string::npos) return false;
    const std::string tag = text.substr(at + 1, end - at - 1);
    at = end + 1;
    if (tag[0] == '?') continue;
    if (tag[0] == '/') {
      if (open.empty() || open.back() != tag.substr(1)) return false;
      open.pop_back();
      continue;
    }
    if (open.empty() && ++roots > 1) return false;
    if (tag.back() == '/') continue;
    open.push_back(tag.substr(0, tag.find(' ')));
  }
  return open.empty() && roots == 1;
}

TEST(PayloadGeneratorTest, DataFilesHaveTheirSignatures) {
  for (std::int32_t id : {530, 536, 542}) {
    SCOPED_TRACE(id);
    const Bytes help = payload_gen::MakeNewFile(IndexOf(id));
    ASSERT_GE(help.size(), 0x60u);
    EXPECT_EQ(std::string(help.begin(), help.begin() + 4), "ITSF");
    EXPECT_EQ(Reader(help).U32(4), 3u);
    EXPECT_EQ(Reader(help).U32(8), 0x60u);
    const Bytes installed = payload_gen::MakeInstalledFile(IndexOf(id), InstalledVersion::kLow);
    EXPECT_EQ(std::string(installed.begin(), installed.begin() + 4), "ITSF");
    EXPECT_NE(installed, help);
  }
  // The 13 help files share a name but not their content.
  EXPECT_NE(payload_gen::MakeNewFile(IndexOf(530)), payload_gen::MakeNewFile(IndexOf(531)));

  const Bytes xml = payload_gen::MakeNewFile(IndexOf(529));
  const std::string text(xml.begin(), xml.end());
  EXPECT_EQ(xml.size(), payload_gen::NewFileSize(IndexOf(529)));
  EXPECT_TRUE(WellFormedXml(text)) << text.substr(0, 400);
  EXPECT_NE(text.find("travio-services.xml"), std::string::npos);
  const Bytes oldXml = payload_gen::MakeInstalledFile(IndexOf(529), InstalledVersion::kLow);
  EXPECT_TRUE(WellFormedXml(std::string(oldXml.begin(), oldXml.end())));
  EXPECT_NE(oldXml, xml);
}

TEST(PayloadGeneratorTest, OutputIsRepeatable) {
  EXPECT_EQ(payload_gen::MakeNewFile(0), payload_gen::MakeNewFile(0));
  EXPECT_EQ(payload_gen::MakeInstalledFile(5, InstalledVersion::kMax),
            payload_gen::MakeInstalledFile(5, InstalledVersion::kMax));
  EXPECT_EQ(payload_gen::OutputName(Row(401)), "401.bin");
}

// Generates the whole set in memory (96 MB, one file at a time).
TEST(PayloadGeneratorTest, WholeSetHasTheSizesOfThePayload) {
  const auto& table = PatchFileTable();
  ASSERT_EQ(table.size(), 161u);
  std::uint64_t total = 0;
  std::uint32_t largest = 0;
  std::map<std::string, int> names;
  for (size_t i = 0; i < table.size(); ++i) {
    const Bytes bytes = payload_gen::MakeNewFile(i);
    ASSERT_EQ(bytes.size(), payload_gen::NewFileSize(i)) << i;
    total += bytes.size();
    largest = std::max<std::uint32_t>(largest, static_cast<std::uint32_t>(bytes.size()));
    EXPECT_GE(bytes.size(), 16u * 1024) << Narrow(table[i].fileName);
    ++names[payload_gen::OutputName(table[i])];
  }
  EXPECT_EQ(names.size(), 161u) << "one output file per row";
  EXPECT_EQ(largest, 15603832u);
  EXPECT_EQ(total, 96349669u);
}

}  // namespace
