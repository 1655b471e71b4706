// A bounds-checked reader of the parts of a PE image that a release check
// and the updater look at: the data directories, where an RVA lies in the
// file, the resource tree, the version resource of an installed file and the
// names of the imported DLLs. A damaged image raises pe::FormatError with a
// sentence saying what is wrong; nothing is read outside the file.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "applicability/portable/byte_image.h"

namespace pe {

class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr unsigned kExportDirectory = 0;
inline constexpr unsigned kImportDirectory = 1;
inline constexpr unsigned kResourceDirectory = 2;
// The certificate table: its "RVA" is a file offset, and it is not loaded.
inline constexpr unsigned kSecurityDirectory = 4;

inline constexpr std::uint32_t kRtString = 6;
inline constexpr std::uint32_t kRtVersion = 16;
inline constexpr std::uint32_t kRtManifest = 24;
inline constexpr std::uint32_t kVersionInfoId = 1;

// A resource type or name: a number, or a string (kept as UTF-8).
struct ResourceName {
  bool isNumber = true;
  std::uint32_t number = 0;
  std::string text;

  bool Is(std::uint32_t value) const { return isNumber && number == value; }
  bool Is(const std::string& value) const { return !isNumber && text == value; }
  std::string ToString() const { return isNumber ? std::to_string(number) : text; }
};

// One leaf of the resource tree: where its bytes are in the file.
struct Resource {
  ResourceName type;
  ResourceName name;
  std::uint32_t language = 0;
  std::uint64_t fileOffset = 0;
  std::uint32_t size = 0;
};

struct Section {
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawOffset = 0;
  std::uint32_t rawSize = 0;
};

class Image {
 public:
  // Reads the headers; FormatError when the file is not a PE image.
  explicit Image(ByteImage& bytes);

  // (rva, size) of a data directory; both 0 when the image has none.
  std::pair<std::uint32_t, std::uint32_t> Directory(unsigned index) const;

  // File offsets of the optional header's CheckSum field (4 bytes) and of the
  // 8-byte entry of a data directory; 0 when the header has no such field or
  // entry. Signing rewrites both, so the Authenticode hash leaves them out.
  std::uint64_t CheckSumOffset() const { return checkSumOffset_; }
  std::uint64_t DirectoryEntryOffset(unsigned index) const {
    return index < directoryCount_ ? directoriesOffset_ + 8ull * index : 0;
  }

  // The file offset of `size` bytes at `rva`; FormatError when they are not
  // all in the file data of one section.
  std::uint64_t FileOffset(std::uint32_t rva, std::uint32_t size) const;

  // Little-endian reads at file offsets; FormatError past the end.
  std::uint16_t U16(std::uint64_t offset) const;
  std::uint32_t U32(std::uint64_t offset) const;
  std::vector<std::uint8_t> Bytes(std::uint64_t offset, std::size_t size) const;

  bool Is64Bit() const { return is64Bit_; }
  std::uint16_t Machine() const { return machine_; }
  ByteImage& Raw() const { return bytes_; }

 private:
  void Read(std::uint64_t offset, void* out, std::size_t size) const;

  ByteImage& bytes_;
  bool is64Bit_ = false;
  std::uint16_t machine_ = 0;
  std::uint64_t checkSumOffset_ = 0;
  std::uint64_t directoriesOffset_ = 0;
  std::uint32_t directoryCount_ = 0;
  std::vector<Section> sections_;
};

// Every leaf of the resource tree (type / name / language), in the tree's
// order. Empty when the image has no resource directory.
std::vector<Resource> ReadResources(const Image& image);

// The leaf that the system's version lookup takes: type RT_VERSION, name 1
// (VS_VERSION_INFO), and of its languages the neutral one when present, else
// the first. Only that branch is read, so a file with many resources costs no
// more than one with few. Empty when the image has no such leaf.
std::optional<Resource> FindVersionResource(const Image& image);

// The DLL names of the import directory, in order.
std::vector<std::string> ReadImportedDlls(const Image& image);

}  // namespace pe
