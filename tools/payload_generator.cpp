#include "tools/payload_generator.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#include "payload/portable/patch_file_table.h"

namespace payload_gen {
namespace {

// splitmix64: small, fast and the same on every platform.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, bound) for bound > 0 (the modulo bias is irrelevant here).
  std::uint32_t Below(std::uint32_t bound) { return static_cast<std::uint32_t>(Next() % bound); }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Next() >> 56); }

 private:
  std::uint64_t state_;
};

// Seeds: one stream per row and per purpose.
enum Stream : std::uint64_t { kSizeStream = 1, kNewStream = 2, kInstalledStream = 3 };
std::uint64_t Seed(std::int32_t resourceId, Stream stream) {
  return (static_cast<std::uint64_t>(resourceId) << 8) ^ (static_cast<std::uint64_t>(stream) << 40) ^
         0x4D6972657630ull;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(static_cast<char>(c < 0x80 ? c : '_'));
  return out;
}

std::string LowerExtension(const std::wstring& name) {
  const size_t dot = name.rfind(L'.');
  std::string ext = dot == std::wstring::npos ? "" : Narrow(name.substr(dot + 1));
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext;
}

// ---------------------------------------------------------------------------
// Little-endian byte buffer.

class Buffer {
 public:
  std::vector<std::uint8_t> bytes;
  size_t Size() const { return bytes.size(); }
  void U8(std::uint8_t v) { bytes.push_back(v); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void Text(const std::string& s) { bytes.insert(bytes.end(), s.begin(), s.end()); }
  void Wide(const std::string& s) {  // ASCII text as UTF-16 with its terminator
    for (char c : s) U16(static_cast<std::uint8_t>(c));
    U16(0);
  }
  void Align(size_t n) {
    while (bytes.size() % n != 0) U8(0);
  }
  void Put16(size_t at, std::uint16_t v) {
    bytes[at] = static_cast<std::uint8_t>(v);
    bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  void Put32(size_t at, std::uint32_t v) {
    Put16(at, static_cast<std::uint16_t>(v));
    Put16(at + 2, static_cast<std::uint16_t>(v >> 16));
  }
};

std::uint32_t AlignUp(std::uint32_t v, std::uint32_t a) { return (v + a - 1) / a * a; }

// ---------------------------------------------------------------------------
// Versions.

std::uint64_t Pack(const FileVersion16& v) {
  return (std::uint64_t{v.major} << 48) | (std::uint64_t{v.minor} << 32) | (std::uint64_t{v.build} << 16) |
         v.revision;
}

FileVersion16 Above(const FileVersion16& v) {
  // One revision up; a window that ends at revision 65535 is followed by the
  // next build with this release's build number.
  if (v.revision != 0xFFFF) return {v.major, v.minor, v.build, static_cast<std::uint16_t>(v.revision + 1)};
  return {v.major, v.minor, static_cast<std::uint16_t>(v.build + 1), 4170};
}

std::string VersionText(const FileVersion16& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.build) + "." +
         std::to_string(v.revision);
}

// ---------------------------------------------------------------------------
// Sizes of the new files.

bool IsLargeLibrary(const std::wstring& name) {
  static const wchar_t* const kLarge[] = {L"qvldb.dll",       L"render-engine.dll", L"decoder-h264.dll",
                                          L"encoder-h264.dll", L"core-ui.dll",      L"velk-core.dll",
                                          L"transcode-core.dll", L"gpu-accel.dll"};
  for (const wchar_t* large : kLarge) {
    if (name == large) return true;
  }
  return false;
}

// lo + (hi - lo) * u^2: most values near lo, a few towards hi.
std::uint32_t Skewed(Rng& rng, std::uint32_t lo, std::uint32_t hi) {
  const std::uint64_t u = rng.Next() >> 32;
  return lo + static_cast<std::uint32_t>(((u * u) >> 32) * (hi - lo) >> 32);
}

std::vector<std::uint32_t> PlanSizes() {
  const auto& table = PatchFileTable();
  std::vector<std::uint64_t> weight(table.size());
  size_t largest = table.size();
  std::uint64_t weightSum = 0;
  for (size_t i = 0; i < table.size(); ++i) {
    const PatchFileEntry& row = table[i];
    Rng rng(Seed(row.resourceId, kSizeStream));
    switch (KindOf(row)) {
      case FileKind::kProgram:
        if (row.fileName == kMainProgram) {
          largest = i;
          continue;
        }
        weight[i] = Skewed(rng, 250000, 1600000);
        break;
      case FileKind::kHelp:
        weight[i] = Skewed(rng, 1700000, 2700000);
        break;
      case FileKind::kXml:
        weight[i] = Skewed(rng, 24000, 48000);
        break;
      case FileKind::kFilter:
        weight[i] = Skewed(rng, 90000, 700000);
        break;
      case FileKind::kLibrary:
        weight[i] = IsLargeLibrary(row.fileName) ? Skewed(rng, 2200000, 5200000) : Skewed(rng, 20000, 520000);
        break;
    }
    weightSum += weight[i];
  }
  // Scale the others so that everything adds up to the total exactly.
  const std::uint64_t rest = kTotalNewBytes - kLargestNewFile;
  std::vector<std::uint32_t> sizes(table.size());
  std::uint64_t assigned = 0;
  for (size_t i = 0; i < table.size(); ++i) {
    if (i == largest) continue;
    sizes[i] = static_cast<std::uint32_t>(weight[i] * rest / weightSum);
    assigned += sizes[i];
  }
  sizes[0] += static_cast<std::uint32_t>(rest - assigned);
  sizes[largest] = kLargestNewFile;
  return sizes;
}

// ---------------------------------------------------------------------------
// Content: program-like bytes (compressible) mixed with pseudo-random blocks
// (the compressed or encrypted parts of real files, which no packer shrinks).

constexpr size_t kBlock = 1024;

const char* const kWords[] = {
    "media",   "library", "album",   "photo",    "video",    "folder",  "device",  "playlist", "import",
    "export",  "share",   "upload",  "account",  "settings", "thumbnail", "index", "schedule", "record",
    "channel", "format",  "convert", "disc",     "burn",     "slideshow", "title", "caption",  "music",
    "volume",  "display", "window",  "select",   "cancel",   "error",   "status",  "progress", "complete"};
constexpr size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

class ContentWriter {
 public:
  // Each file calls its own functions, imports and globals: pools of
  // addresses that its instructions pick from, as a compiler's output does.
  ContentWriter(Rng& rng, unsigned randomPermille) : rng_(rng), randomPermille_(randomPermille) {
    for (std::uint32_t& target : callTargets_) target = rng_.Below(1u << 20);
    for (std::uint32_t i = 0; i < kImports; ++i) imports_[i] = 0x10001000u + 4 * i;
    for (std::uint32_t& global : globals_) global = 0x10040000u + 4 * rng_.Below(2000);
  }

  enum class Style { kCode, kData, kHtml };

  // Fills `n` bytes; whole blocks are pseudo-random in the share given per
  // mille, spread evenly over the range.
  void Fill(std::uint8_t* out, size_t n, Style style) {
    for (size_t done = 0; done < n;) {
      const size_t len = std::min(kBlock, n - done);
      debt_ += randomPermille_;
      if (debt_ >= 1000) {
        debt_ -= 1000;
        for (size_t k = 0; k < len; ++k) out[done + k] = rng_.Byte();
      } else if (style == Style::kCode) {
        FillCode(out + done, len);
      } else if (style == Style::kData) {
        FillData(out + done, len);
      } else {
        FillHtml(out + done, len);
      }
      done += len;
    }
  }

 private:
  // 32-bit x86 as compilers write it: frame-relative loads and stores with
  // small displacements, calls to the file's functions and imports, pushes,
  // tests and short jumps, prologues and epilogues. Operands that repeat, in
  // instructions of different lengths, give a packer the overlapping choices
  // that real code gives it.
  void FillCode(std::uint8_t* out, size_t n) {
    static const std::uint8_t kFrameRegisters[] = {0x45, 0x4D, 0x55, 0x5D, 0x75, 0x7D};
    static const std::uint8_t kDisplacements[] = {0xF8, 0xFC, 0xF4, 0x08, 0x0C, 0x10, 0xF0, 0xEC, 0x14};
    static const std::uint8_t kImmediates[] = {0, 1, 2, 4, 8, 0x10, 0xFF};
    static const std::uint8_t kFrameCode[][5] = {{0x55, 0x8B, 0xEC}, {0x8B, 0xE5, 0x5D, 0xC3},
                                                  {0x5F, 0x5E, 0x5B, 0xC9, 0xC3}, {0x83, 0xEC, 0x10},
                                                  {0xCC, 0xCC, 0xCC, 0xCC}};
    static const std::uint8_t kFrameCodeLength[] = {3, 4, 5, 3, 4};
    static const std::uint8_t kAluOpcodes[] = {0x33, 0x3B, 0x03, 0x2B, 0x8B};
    static const std::uint8_t kRegisterPairs[] = {0xC0, 0xC9, 0xD2, 0xC1, 0xC8, 0xF6, 0xFF};
    std::uint8_t insn[8];
    for (size_t k = 0; k < n;) {
      size_t len = 0;
      const auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) insn[len++] = static_cast<std::uint8_t>(v >> (8 * i));
      };
      const std::uint32_t pick = rng_.Below(100);
      if (pick < 25) {  // mov/lea reg, [ebp+disp8]; mostly the usual frame slots
        static const std::uint8_t kMoves[] = {0x8B, 0x89, 0x8D};
        insn[len++] = kMoves[rng_.Below(3)];
        insn[len++] = kFrameRegisters[rng_.Below(6)];
        insn[len++] = rng_.Below(10) < 8 ? rng_.Byte() : kDisplacements[rng_.Below(9)];
      } else if (pick < 35) {  // call rel32 to one of the file's functions
        insn[len++] = 0xE8;
        u32(callTargets_[rng_.Below(kCallTargets)] - static_cast<std::uint32_t>(k));
      } else if (pick < 45) {  // call [import]
        insn[len++] = 0xFF;
        insn[len++] = 0x15;
        u32(imports_[rng_.Below(kImports)]);
      } else if (pick < 55) {  // push imm8 or push reg
        if (rng_.Below(2) == 0) {
          insn[len++] = 0x6A;
          insn[len++] = kImmediates[rng_.Below(7)];
        } else {
          static const std::uint8_t kPushes[] = {0x50, 0x51, 0x52, 0x53, 0x56, 0x57};
          insn[len++] = kPushes[rng_.Below(6)];
        }
      } else if (pick < 62) {  // prologue, epilogue, stack frame, padding
        const std::uint32_t which = rng_.Below(5);
        for (std::uint8_t i = 0; i < kFrameCodeLength[which]; ++i) insn[len++] = kFrameCode[which][i];
      } else if (pick < 72) {  // test eax, eax; jcc short
        static const std::uint8_t kJumps[] = {0x74, 0x75, 0x7C, 0x7F};
        insn[len++] = 0x85;
        insn[len++] = 0xC0;
        insn[len++] = kJumps[rng_.Below(4)];
        insn[len++] = static_cast<std::uint8_t>(2 + rng_.Below(58));
      } else if (pick < 82) {  // mov eax, [global]
        insn[len++] = 0xA1;
        u32(globals_[rng_.Below(kGlobals)]);
      } else {  // register to register arithmetic
        insn[len++] = kAluOpcodes[rng_.Below(5)];
        insn[len++] = kRegisterPairs[rng_.Below(7)];
      }
      for (size_t i = 0; i < len && k < n; ++i) out[k++] = insn[i];
    }
  }
  void FillData(std::uint8_t* out, size_t n) {
    size_t k = 0;
    while (k < n) {
      switch (rng_.Below(4)) {
        case 0:  // UTF-16 text
        case 1: {
          const char* word = kWords[rng_.Below(kWordCount)];
          for (const char* c = word; *c != 0 && k + 1 < n; ++c) {
            out[k++] = static_cast<std::uint8_t>(*c);
            out[k++] = 0;
          }
          if (k + 1 < n) {
            out[k++] = 0;
            out[k++] = 0;
          }
          break;
        }
        case 2: {  // table of small numbers
          for (int j = 0; j < 8 && k < n; ++j) out[k++] = j % 4 == 0 ? rng_.Byte() : 0;
          break;
        }
        default:  // padding
          for (unsigned j = rng_.Below(24); j > 0 && k < n; --j) out[k++] = 0;
          break;
      }
    }
  }
  void FillHtml(std::uint8_t* out, size_t n) {
    static const char* const kTags[] = {"<p>", "</p>\r\n", "<li>", "</li>\r\n", "<h2>", "</h2>\r\n", " "};
    size_t k = 0;
    auto put = [&](const char* s) {
      for (; *s != 0 && k < n; ++s) out[k++] = static_cast<std::uint8_t>(*s);
    };
    while (k < n) {
      put(kTags[rng_.Below(7)]);
      for (unsigned w = 1 + rng_.Below(6); w > 0; --w) {
        put(kWords[rng_.Below(kWordCount)]);
        put(" ");
      }
    }
  }

  static constexpr std::uint32_t kCallTargets = 300;
  static constexpr std::uint32_t kImports = 150;
  static constexpr std::uint32_t kGlobals = 400;
  Rng& rng_;
  unsigned randomPermille_;
  unsigned debt_ = 0;
  std::array<std::uint32_t, kCallTargets> callTargets_{};
  std::array<std::uint32_t, kImports> imports_{};
  std::array<std::uint32_t, kGlobals> globals_{};
};

// Share of pseudo-random blocks by kind of file, per mille. Help files are
// mostly compressed pages; programs mix code with compressed resources.
unsigned RandomPermille(FileKind kind) {
  switch (kind) {
    case FileKind::kHelp:
      return 750;
    case FileKind::kXml:
      return 0;
    default:
      return 511;
  }
}

// ---------------------------------------------------------------------------
// Version resource (VS_VERSIONINFO).

// Writes one node: wLength, wValueLength, wType, key, value, then children.
template <typename Children>
void Node(Buffer& b, const std::string& key, std::uint16_t valueLength, std::uint16_t type,
          const std::vector<std::uint8_t>& value, Children children) {
  b.Align(4);
  const size_t start = b.Size();
  b.U16(0);
  b.U16(valueLength);
  b.U16(type);
  b.Wide(key);
  b.Align(4);
  b.bytes.insert(b.bytes.end(), value.begin(), value.end());
  children();
  b.Put16(start, static_cast<std::uint16_t>(b.Size() - start));
}

void StringNode(Buffer& b, const std::string& key, const std::string& text) {
  Buffer value;
  value.Wide(text);
  Node(b, key, static_cast<std::uint16_t>(text.size() + 1), 1, value.bytes, [] {});
}

std::vector<std::uint8_t> VersionInfo(const PatchFileEntry& row, FileKind kind, const FileVersion16& v) {
  Buffer fixed;
  fixed.U32(0xFEEF04BD);  // signature
  fixed.U32(0x00010000);  // structure version
  fixed.U32(static_cast<std::uint32_t>(Pack(v) >> 32));
  fixed.U32(static_cast<std::uint32_t>(Pack(v)));
  fixed.U32(static_cast<std::uint32_t>(Pack(v) >> 32));  // product version
  fixed.U32(static_cast<std::uint32_t>(Pack(v)));
  fixed.U32(0x3F);                                          // flags mask
  fixed.U32(0);                                             // flags
  fixed.U32(0x00040004);                                    // VOS_NT_WINDOWS32
  fixed.U32(kind == FileKind::kProgram ? 1 : 2);            // VFT_APP, VFT_DLL
  fixed.U32(0);                                             // subtype
  fixed.U32(0);                                             // date
  fixed.U32(0);

  const std::string name = Narrow(row.fileName);
  const std::string version = VersionText(v);
  Buffer b;
  Node(b, "VS_VERSION_INFO", static_cast<std::uint16_t>(fixed.Size()), 0, fixed.bytes, [&] {
    Node(b, "StringFileInfo", 0, 1, {}, [&] {
      Node(b, "040904b0", 0, 1, {}, [&] {
        StringNode(b, "CompanyName", "Orvane Corporation");
        StringNode(b, "FileDescription", "Mirevo " + name.substr(0, name.rfind('.')));
        StringNode(b, "FileVersion", version);
        StringNode(b, "InternalName", name.substr(0, name.rfind('.')));
        StringNode(b, "LegalCopyright", "(C) Orvane Corporation. All rights reserved.");
        StringNode(b, "OriginalFilename", name);
        StringNode(b, "ProductName", "Mirevo");
        StringNode(b, "ProductVersion", version);
      });
    });
    Node(b, "VarFileInfo", 0, 1, {}, [&] {
      Buffer translation;
      translation.U16(0x0409);
      translation.U16(1200);
      Node(b, "Translation", 4, 0, translation.bytes, [] {});
    });
  });
  return b.bytes;
}

// .rsrc section: a three-level directory (RT_VERSION / 1 / 1033) and the data.
std::vector<std::uint8_t> ResourceSection(const std::vector<std::uint8_t>& versionInfo, std::uint32_t rva) {
  Buffer b;
  auto directory = [&b](std::uint32_t id, std::uint32_t target) {
    b.U32(0);  // characteristics
    b.U32(0);  // time stamp
    b.U16(0);  // major, minor version
    b.U16(0);
    b.U16(0);  // named entries
    b.U16(1);  // id entries
    b.U32(id);
    b.U32(target);
  };
  directory(16, 0x80000000u | 24);  // RT_VERSION
  directory(1, 0x80000000u | 48);
  directory(1033, 72);
  b.U32(rva + 88);  // data entry
  b.U32(static_cast<std::uint32_t>(versionInfo.size()));
  b.U32(0);
  b.U32(0);
  b.Align(8);
  b.bytes.insert(b.bytes.end(), versionInfo.begin(), versionInfo.end());
  return b.bytes;
}

// ---------------------------------------------------------------------------
// PE32 image.

constexpr std::uint32_t kFileAlign = 0x200;
constexpr std::uint32_t kSectionAlign = 0x1000;
constexpr std::uint32_t kHeadersSize = 0x400;

std::uint32_t TimeStamp(const FileTime16& t) {
  // Seconds since 1970 of the row's date (days from the civil calendar).
  const int y = t.year - (t.month <= 2 ? 1 : 0);
  const int era = y / 400;
  const int yoe = y - era * 400;
  const int mp = (t.month + 9) % 12;
  const int doy = (153 * mp + 2) / 5 + t.day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = std::int64_t{era} * 146097 + doe - 719468;
  return static_cast<std::uint32_t>(days * 86400 + t.hour * 3600 + t.minute * 60 + t.second);
}

std::vector<std::uint8_t> MakeImage(const PatchFileEntry& row, FileKind kind, std::uint32_t size,
                                    const FileVersion16* version, Rng& rng, unsigned randomPermille) {
  const bool isDll = kind != FileKind::kProgram;
  const std::vector<std::uint8_t> info =
      version != nullptr ? VersionInfo(row, kind, *version) : std::vector<std::uint8_t>{};
  const std::uint32_t rsrcLength = version != nullptr ? static_cast<std::uint32_t>(88 + info.size()) : 0;
  const std::uint32_t rsrcRaw = AlignUp(rsrcLength, kFileAlign);
  if (size < kHeadersSize + rsrcRaw + 2 * kFileAlign) throw std::length_error("file too small for an image");
  const std::uint32_t rest = size - kHeadersSize - rsrcRaw;
  const std::uint32_t textRaw = std::max(kFileAlign, rest / 8 * 5 / kFileAlign * kFileAlign);
  const std::uint32_t dataRaw = (rest - textRaw) / kFileAlign * kFileAlign;
  const std::uint32_t textRva = kSectionAlign;
  const std::uint32_t dataRva = AlignUp(textRva + textRaw, kSectionAlign);
  const std::uint32_t rsrcRva = AlignUp(dataRva + dataRaw, kSectionAlign);
  const std::uint32_t imageSize = AlignUp(rsrcRva + std::max<std::uint32_t>(rsrcLength, 1), kSectionAlign);
  const std::uint16_t sections = version != nullptr ? 3 : 2;

  Buffer b;
  // DOS header and stub.
  b.U16(0x5A4D);
  b.U16(0x90);
  b.U16(3);
  b.U16(0);
  b.U16(4);
  b.U16(0);
  b.U16(0xFFFF);
  b.U16(0);
  b.U16(0xB8);
  for (int k = 0; k < 3; ++k) b.U16(0);
  b.U16(0x40);  // e_lfarlc
  while (b.Size() < 0x3C) b.U8(0);
  b.U32(0x80);  // e_lfanew
  static const std::uint8_t kStub[] = {0x0E, 0x1F, 0xBA, 0x0E, 0x00, 0xB4, 0x09, 0xCD,
                                       0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21};
  b.bytes.insert(b.bytes.end(), std::begin(kStub), std::end(kStub));
  b.Text("This program cannot be run in DOS mode.\r\r\n$");
  b.Align(0x80);

  // PE signature and file header.
  b.U32(0x00004550);
  b.U16(0x014C);  // i386
  b.U16(sections);
  b.U32(TimeStamp(row.fileTime));
  b.U32(0);
  b.U32(0);
  b.U16(0xE0);
  b.U16(static_cast<std::uint16_t>(0x0102 | (isDll ? 0x2000 : 0)));  // executable, 32-bit, DLL

  // Optional header.
  b.U16(0x010B);
  b.U8(10);
  b.U8(0);
  b.U32(textRaw);
  b.U32(dataRaw + rsrcRaw);
  b.U32(0);
  b.U32(textRva + (isDll ? 0 : 0x10));  // entry point
  b.U32(textRva);
  b.U32(dataRva);
  b.U32(isDll ? 0x10000000 : 0x00400000);
  b.U32(kSectionAlign);
  b.U32(kFileAlign);
  b.U16(5);  // OS version
  b.U16(1);
  b.U16(0);  // image version
  b.U16(0);
  b.U16(5);  // subsystem version
  b.U16(1);
  b.U32(0);
  b.U32(imageSize);
  b.U32(kHeadersSize);
  b.U32(0);  // checksum
  b.U16(2);  // IMAGE_SUBSYSTEM_WINDOWS_GUI
  b.U16(0x0100);  // NX compatible
  b.U32(0x100000);
  b.U32(0x1000);
  b.U32(0x100000);
  b.U32(0x1000);
  b.U32(0);
  b.U32(16);
  for (int k = 0; k < 16; ++k) {
    const bool resources = k == 2 && version != nullptr;
    b.U32(resources ? rsrcRva : 0);
    b.U32(resources ? rsrcLength : 0);
  }

  // Section table.
  std::uint32_t raw = kHeadersSize;
  auto section = [&](const char* name, std::uint32_t rva, std::uint32_t virtualSize, std::uint32_t rawSize,
                     std::uint32_t flags) {
    char n[8] = {};
    std::memcpy(n, name, std::strlen(name));
    b.bytes.insert(b.bytes.end(), n, n + 8);
    b.U32(virtualSize);
    b.U32(rva);
    b.U32(rawSize);
    b.U32(raw);
    b.U32(0);
    b.U32(0);
    b.U16(0);
    b.U16(0);
    b.U32(flags);
    raw += rawSize;
  };
  section(".text", textRva, textRaw, textRaw, 0x60000020);
  section(".data", dataRva, dataRaw, dataRaw, 0xC0000040);
  if (version != nullptr) section(".rsrc", rsrcRva, rsrcLength, rsrcRaw, 0x40000040);
  b.bytes.resize(size);  // zero padding; the sections are filled in place

  ContentWriter writer(rng, randomPermille);
  std::uint8_t* text = b.bytes.data() + kHeadersSize;
  writer.Fill(text, textRaw, ContentWriter::Style::kCode);
  std::uint8_t* data = text + textRaw;
  // The file's own name opens its data, so that every row's file is told apart.
  const std::string tag = "Orvane Mirevo " + Narrow(row.fileName) + " " + std::to_string(row.resourceId);
  std::memcpy(data, tag.data(), std::min<size_t>(tag.size(), dataRaw));
  if (dataRaw > 64) writer.Fill(data + 64, dataRaw - 64, ContentWriter::Style::kData);
  if (version != nullptr) {
    const std::vector<std::uint8_t> rsrc = ResourceSection(info, rsrcRva);
    std::memcpy(data + dataRaw, rsrc.data(), rsrc.size());
  }
  // Whatever is left after the last section is an overlay of random bytes.
  const std::uint32_t overlay = raw;
  for (std::uint32_t k = overlay; k < size; ++k) b.bytes[k] = rng.Byte();
  return b.bytes;
}

// ---------------------------------------------------------------------------
// Data files.

std::vector<std::uint8_t> MakeHelp(const PatchFileEntry& row, std::uint32_t size, Rng& rng,
                                   unsigned randomPermille) {
  Buffer b;
  b.Text("ITSF");
  b.U32(3);     // version
  b.U32(0x60);  // header length
  b.U32(1);
  b.U32(TimeStamp(row.fileTime));
  b.U32(0x0409);  // language
  static const std::uint8_t kGuids[32] = {0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11, 0x9E, 0x0C, 0x00,
                                          0xA0, 0xC9, 0x22, 0xE6, 0xEC, 0x11, 0xFD, 0x01, 0x7C, 0xAA, 0x7B,
                                          0xD0, 0x11, 0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
  b.bytes.insert(b.bytes.end(), std::begin(kGuids), std::end(kGuids));
  b.U32(0x60);  // section 0 offset and length
  b.U32(0);
  b.U32(0x18);
  b.U32(0);
  b.U32(0x78);  // directory offset and length
  b.U32(0);
  b.U32(0x1054);
  b.U32(0);
  b.U32(0x10CC);  // content offset
  b.U32(0);
  b.Text("ITSP");
  b.U32(1);
  b.U32(0x54);
  const std::string tag = "/" + Narrow(row.fileName) + "#" + std::to_string(row.resourceId) + "/index.html";
  b.Text(tag);
  if (size < b.Size() + 64) throw std::length_error("file too small for a help file");
  const size_t head = b.Size();
  b.bytes.resize(size);
  ContentWriter writer(rng, randomPermille);
  writer.Fill(b.bytes.data() + head, size - head, ContentWriter::Style::kHtml);
  return b.bytes;
}

std::vector<std::uint8_t> MakeXml(const PatchFileEntry& row, std::uint32_t size, Rng& rng, const char* edition) {
  std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<services file=\"" + Narrow(row.fileName) +
                     "\" edition=\"" + edition + "\">\r\n";
  const std::string closing = "</services>\r\n";
  for (unsigned n = 1;; ++n) {
    std::string item = "  <service id=\"" + std::to_string(n) + "\" name=\"" + kWords[rng.Below(kWordCount)] +
                       "-" + kWords[rng.Below(kWordCount)] + "\" url=\"https://upload.example.com/" +
                       kWords[rng.Below(kWordCount)] + "/" + std::to_string(rng.Below(100000)) +
                       "\" maxSize=\"" + std::to_string(1 + rng.Below(4096)) + "\"/>\r\n";
    if (text.size() + item.size() + closing.size() + 9 > size) break;
    text += item;
  }
  if (text.size() + closing.size() + 9 > size) throw std::length_error("file too small for the xml file");
  // A comment pads the text to its exact size.
  text += "<!--";
  text.append(size - text.size() - closing.size() - 5, ' ');
  text += "-->\r\n" + closing;
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

const std::vector<std::uint32_t>& Sizes() {
  static const std::vector<std::uint32_t> sizes = PlanSizes();
  return sizes;
}

}  // namespace

FileKind KindOf(const PatchFileEntry& row) {
  const std::string ext = LowerExtension(row.fileName);
  if (ext == "exe") return FileKind::kProgram;
  if (ext == "ax") return FileKind::kFilter;
  if (ext == "chm") return FileKind::kHelp;
  if (ext == "xml") return FileKind::kXml;
  return FileKind::kLibrary;
}

bool IsPortableExecutable(FileKind kind) {
  return kind == FileKind::kLibrary || kind == FileKind::kFilter || kind == FileKind::kProgram;
}

FileVersion16 NewVersion(const PatchFileEntry& row) { return Above(row.maxVersion); }

FileVersion16 InstalledVersionOf(const PatchFileEntry& row, InstalledVersion choice) {
  switch (choice) {
    case InstalledVersion::kAbove:
      return Above(row.maxVersion);
    case InstalledVersion::kLow: {
      const FileVersion16 low{row.maxVersion.major, row.maxVersion.minor, 0, 0};
      return Pack(low) >= Pack(row.minVersion) ? low : row.minVersion;
    }
    default:
      return row.maxVersion;
  }
}

std::uint32_t NewFileSize(std::size_t index) { return Sizes().at(index); }

std::vector<std::uint8_t> MakeNewFile(std::size_t index) {
  const PatchFileEntry& row = PatchFileTable().at(index);
  const FileKind kind = KindOf(row);
  Rng rng(Seed(row.resourceId, kNewStream));
  const std::uint32_t size = NewFileSize(index);
  if (kind == FileKind::kHelp) return MakeHelp(row, size, rng, RandomPermille(kind));
  if (kind == FileKind::kXml) return MakeXml(row, size, rng, "new");
  const FileVersion16 version = NewVersion(row);
  return MakeImage(row, kind, size, &version, rng, RandomPermille(kind));
}

std::vector<std::uint8_t> MakeInstalledFile(std::size_t index, InstalledVersion choice) {
  const PatchFileEntry& row = PatchFileTable().at(index);
  const FileKind kind = KindOf(row);
  Rng rng(Seed(row.resourceId, kInstalledStream));
  const std::uint32_t size = 4096 + 512 * rng.Below(24) + rng.Below(512);
  if (kind == FileKind::kHelp) return MakeHelp(row, size, rng, RandomPermille(kind));
  if (kind == FileKind::kXml) return MakeXml(row, size, rng, "installed");
  const FileVersion16 version = InstalledVersionOf(row, choice);
  return MakeImage(row, kind, size, choice == InstalledVersion::kNone ? nullptr : &version, rng,
                   RandomPermille(kind));
}

std::string OutputName(const PatchFileEntry& row) { return std::to_string(row.resourceId) + ".bin"; }

}  // namespace payload_gen
