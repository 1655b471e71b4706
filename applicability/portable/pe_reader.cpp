#include "applicability/portable/pe_reader.h"

#include <algorithm>
#include <optional>
#include <set>

#include "base/portable/utf8.h"

namespace pe {
namespace {

constexpr std::uint16_t kMagic32 = 0x10B;
constexpr std::uint16_t kMagic64 = 0x20B;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kMaxImportedDlls = 4096;
constexpr std::size_t kMaxDllNameLength = 260;

std::string Hex(std::uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

// UTF-16LE to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  for (std::size_t k = 0; k + 1 < bytes.size(); k += 2) {
    std::uint32_t unit = bytes[k] | (bytes[k + 1] << 8);
    if (unit >= 0xD800 && unit < 0xDC00 && k + 3 < bytes.size()) {
      const std::uint32_t low = bytes[k + 2] | (bytes[k + 3] << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        k += 2;
        continue;
      }
    }
    AppendUtf8(out, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
  }
  return out;
}

// Reads within the resource section only, so that a bad offset in the tree
// is reported as such instead of reading some other part of the file.
class ResourceSection {
 public:
  ResourceSection(const Image& image, std::uint64_t base, std::uint32_t size)
      : image_(image), base_(base), size_(size) {}

  std::uint16_t U16(std::uint64_t offset) const {
    Need(offset, 2);
    return image_.U16(base_ + offset);
  }
  std::uint32_t U32(std::uint64_t offset) const {
    Need(offset, 4);
    return image_.U32(base_ + offset);
  }
  std::vector<std::uint8_t> Bytes(std::uint64_t offset, std::size_t size) const {
    Need(offset, size);
    return image_.Bytes(base_ + offset, size);
  }

 private:
  void Need(std::uint64_t offset, std::uint64_t size) const {
    if (!RangeFits(offset, size, size_))
      throw FormatError("the resource tree refers to " + std::to_string(size) + " bytes at offset " +
                        Hex(offset) + ", outside its " + std::to_string(size_) + " bytes");
  }

  const Image& image_;
  std::uint64_t base_;
  std::uint32_t size_;
};

ResourceName EntryName(const ResourceSection& rsrc, std::uint32_t value) {
  ResourceName name;
  if (value & 0x80000000u) {
    const std::uint32_t offset = value & 0x7FFFFFFFu;
    const std::uint16_t length = rsrc.U16(offset);
    name.isNumber = false;
    name.text = Utf16ToUtf8(rsrc.Bytes(std::uint64_t{offset} + 2, 2u * length));
  } else {
    name.number = value & 0xFFFF;
  }
  return name;
}

// One entry of a directory as it is stored: the name field (a number, or with
// the top bit the offset of a name) and the target (with the top bit a
// subdirectory, else a data entry).
struct RawEntry {
  std::uint32_t name;
  std::uint32_t target;
};

std::uint32_t EntryCount(const ResourceSection& rsrc, std::uint32_t directory) {
  return std::uint32_t{rsrc.U16(std::uint64_t{directory} + 12)} + rsrc.U16(std::uint64_t{directory} + 14);
}

RawEntry EntryAt(const ResourceSection& rsrc, std::uint32_t directory, std::uint32_t index) {
  const std::uint64_t entry = std::uint64_t{directory} + 16 + 8ull * index;
  return {rsrc.U32(entry), rsrc.U32(entry + 4)};
}

struct DirectoryEntry {
  ResourceName name;
  std::uint32_t target;
};

// The entries of one directory of the tree. A directory reached a second
// time is refused: it would be a loop, or a way to make the walk's work grow
// far beyond the size of the file.
std::vector<DirectoryEntry> ReadDirectory(const ResourceSection& rsrc, std::uint32_t offset,
                                          std::set<std::uint32_t>& seen) {
  if (!seen.insert(offset).second)
    throw FormatError("the resource directory at offset " + Hex(offset) + " is reached twice");
  const std::uint32_t count = EntryCount(rsrc, offset);
  std::vector<DirectoryEntry> entries;
  for (std::uint32_t k = 0; k < count; ++k) {
    const RawEntry raw = EntryAt(rsrc, offset, k);
    entries.push_back({EntryName(rsrc, raw.name), raw.target});
  }
  return entries;
}

// The first entry numbered `id`; the names of named entries are not read.
std::optional<RawEntry> NumberedEntry(const ResourceSection& rsrc, std::uint32_t directory, std::uint32_t id) {
  const std::uint32_t count = EntryCount(rsrc, directory);
  for (std::uint32_t k = 0; k < count; ++k) {
    const RawEntry raw = EntryAt(rsrc, directory, k);
    if (!(raw.name & 0x80000000u) && (raw.name & 0xFFFF) == id) return raw;
  }
  return std::nullopt;
}

std::uint32_t Subdirectory(std::uint32_t target, const std::string& what) {
  if (!(target & 0x80000000u)) throw FormatError("resource " + what + " is not a directory");
  return target & 0x7FFFFFFFu;
}

// Where the bytes of the leaf whose entry points at `target` are in the file.
void ReadDataEntry(const Image& image, const ResourceSection& rsrc, std::uint32_t target, const std::string& what,
                   Resource& resource) {
  if (target & 0x80000000u) throw FormatError("resource " + what + " has no data entry");
  const std::uint32_t dataRva = rsrc.U32(target);
  resource.size = rsrc.U32(std::uint64_t{target} + 4);
  resource.fileOffset = image.FileOffset(dataRva, resource.size);
}

}  // namespace

Image::Image(ByteImage& bytes) : bytes_(bytes) {
  if (bytes_.Size() < 0x40) throw FormatError("the file is too short for an MZ header");
  if (U16(0) != 0x5A4D) throw FormatError("the file has no MZ signature");
  const std::uint64_t header = U32(0x3C);
  if (!RangeFits(header, 24, bytes_.Size())) throw FormatError("the PE header lies past the end of the file");
  if (U32(header) != 0x00004550) throw FormatError("the file has no PE signature");
  machine_ = U16(header + 4);
  const std::uint16_t sectionCount = U16(header + 6);
  const std::uint16_t optionalSize = U16(header + 20);
  const std::uint64_t optional = header + 24;
  if (optionalSize < 2) throw FormatError("the optional header is missing");
  const std::uint16_t magic = U16(optional);
  std::uint64_t countOffset = 0;
  if (magic == kMagic32) {
    countOffset = optional + 92;
  } else if (magic == kMagic64) {
    countOffset = optional + 108;
    is64Bit_ = true;
  } else {
    throw FormatError("the optional header has the unknown magic " + Hex(magic));
  }
  const std::uint64_t optionalEnd = optional + optionalSize;
  // CheckSum is at the same place in both layouts.
  if (optional + 68 <= optionalEnd) checkSumOffset_ = optional + 64;
  if (countOffset + 4 <= optionalEnd) {
    directoriesOffset_ = countOffset + 4;
    // Only the directories that fit in the optional header count.
    const std::uint64_t fit = (optionalEnd - directoriesOffset_) / 8;
    directoryCount_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(U32(countOffset), fit));
  }
  for (std::uint16_t k = 0; k < sectionCount; ++k) {
    const std::uint64_t at = optionalEnd + kSectionHeaderSize * k;
    Section section;
    section.virtualSize = U32(at + 8);
    section.virtualAddress = U32(at + 12);
    section.rawSize = U32(at + 16);
    section.rawOffset = U32(at + 20);
    sections_.push_back(section);
  }
}

std::pair<std::uint32_t, std::uint32_t> Image::Directory(unsigned index) const {
  if (index >= directoryCount_) return {0, 0};
  return {U32(directoriesOffset_ + 8ull * index), U32(directoriesOffset_ + 8ull * index + 4)};
}

std::uint64_t Image::FileOffset(std::uint32_t rva, std::uint32_t size) const {
  const std::uint64_t begin = rva;
  const std::uint64_t end = begin + size;
  for (const Section& section : sections_) {
    const std::uint64_t start = section.virtualAddress;
    const std::uint64_t span = std::max(section.virtualSize, section.rawSize);
    if (start <= begin && end <= start + span) {
      if (end - start > section.rawSize)
        throw FormatError(std::to_string(size) + " bytes at RVA " + Hex(rva) + " lie in uninitialised data");
      const std::uint64_t offset = section.rawOffset + (begin - start);
      if (!RangeFits(offset, size, bytes_.Size()))
        throw FormatError(std::to_string(size) + " bytes at RVA " + Hex(rva) + " lie past the end of the file");
      return offset;
    }
  }
  throw FormatError(std::to_string(size) + " bytes at RVA " + Hex(rva) + " are in no section");
}

void Image::Read(std::uint64_t offset, void* out, std::size_t size) const {
  if (!RangeFits(offset, size, bytes_.Size()))
    throw FormatError(std::to_string(size) + " bytes at file offset " + Hex(offset) +
                      " lie past the end of the file (" + std::to_string(bytes_.Size()) + " bytes)");
  if (!bytes_.ReadAt(offset, out, size))
    throw FormatError("the file cannot be read at offset " + Hex(offset));
}

std::uint16_t Image::U16(std::uint64_t offset) const {
  std::uint8_t b[2];
  Read(offset, b, sizeof b);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t Image::U32(std::uint64_t offset) const {
  std::uint8_t b[4];
  Read(offset, b, sizeof b);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t{b[3]} << 24);
}

std::vector<std::uint8_t> Image::Bytes(std::uint64_t offset, std::size_t size) const {
  // Checked before the buffer is made, so a bad size allocates nothing.
  if (!RangeFits(offset, size, bytes_.Size()))
    throw FormatError(std::to_string(size) + " bytes at file offset " + Hex(offset) + " lie past the end of the file");
  std::vector<std::uint8_t> data(size);
  Read(offset, data.data(), size);
  return data;
}

std::vector<Resource> ReadResources(const Image& image) {
  const auto [rva, size] = image.Directory(kResourceDirectory);
  if (rva == 0 || size == 0) return {};
  const ResourceSection rsrc(image, image.FileOffset(rva, size), size);
  std::set<std::uint32_t> seen;
  std::vector<Resource> resources;
  for (const DirectoryEntry& type : ReadDirectory(rsrc, 0, seen)) {
    const std::string typeText = type.name.ToString();
    for (const DirectoryEntry& name : ReadDirectory(rsrc, Subdirectory(type.target, typeText), seen)) {
      const std::string nameText = typeText + "/" + name.name.ToString();
      for (const DirectoryEntry& language : ReadDirectory(rsrc, Subdirectory(name.target, nameText), seen)) {
        Resource resource;
        resource.type = type.name;
        resource.name = name.name;
        resource.language = language.name.number;
        ReadDataEntry(image, rsrc, language.target, nameText + "/" + language.name.ToString(), resource);
        resources.push_back(resource);
      }
    }
  }
  return resources;
}

std::optional<Resource> FindVersionResource(const Image& image) {
  const auto [rva, size] = image.Directory(kResourceDirectory);
  if (rva == 0 || size == 0) return std::nullopt;
  const ResourceSection rsrc(image, image.FileOffset(rva, size), size);
  // Three directories are read at most, so a loop in the tree cannot make
  // this walk run on.
  const std::string typeText = std::to_string(kRtVersion);
  const std::optional<RawEntry> type = NumberedEntry(rsrc, 0, kRtVersion);
  if (!type) return std::nullopt;
  const std::string nameText = typeText + "/" + std::to_string(kVersionInfoId);
  const std::optional<RawEntry> name = NumberedEntry(rsrc, Subdirectory(type->target, typeText), kVersionInfoId);
  if (!name) return std::nullopt;
  const std::uint32_t languages = Subdirectory(name->target, nameText);
  std::optional<RawEntry> language = NumberedEntry(rsrc, languages, 0);
  if (!language && EntryCount(rsrc, languages) > 0) language = EntryAt(rsrc, languages, 0);
  if (!language) return std::nullopt;
  Resource resource;
  resource.type.number = kRtVersion;
  resource.name.number = kVersionInfoId;
  resource.language = language->name & 0x80000000u ? 0 : language->name & 0xFFFF;
  ReadDataEntry(image, rsrc, language->target, nameText + "/" + std::to_string(resource.language), resource);
  return resource;
}

std::vector<std::string> ReadImportedDlls(const Image& image) {
  const std::uint32_t rva = image.Directory(kImportDirectory).first;
  std::vector<std::string> names;
  if (rva == 0) return names;
  for (std::size_t k = 0;; ++k) {
    if (k == kMaxImportedDlls) throw FormatError("the import directory has no end");
    const std::uint64_t descriptorRva = std::uint64_t{rva} + 20 * k;
    if (descriptorRva > 0xFFFFFFFFu) throw FormatError("the import directory runs past the address space");
    const std::uint64_t descriptor = image.FileOffset(static_cast<std::uint32_t>(descriptorRva), 20);
    bool empty = true;
    for (unsigned field = 0; field < 5; ++field) empty = empty && image.U32(descriptor + 4 * field) == 0;
    if (empty) break;
    const std::uint32_t nameRva = image.U32(descriptor + 12);
    std::string name;
    for (std::uint32_t at = 0;; ++at) {
      if (at == kMaxDllNameLength || nameRva > 0xFFFFFFFFu - at)
        throw FormatError("an imported DLL's name at RVA " + Hex(nameRva) + " has no end");
      const std::uint8_t c = image.Bytes(image.FileOffset(nameRva + at, 1), 1)[0];
      if (c == 0) break;
      name += static_cast<char>(c);
    }
    names.push_back(name);
  }
  return names;
}

}  // namespace pe
