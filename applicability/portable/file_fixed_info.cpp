#include "applicability/portable/file_fixed_info.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "applicability/portable/cached_image.h"
#include "applicability/portable/pe_reader.h"

namespace {

constexpr std::uint64_t kDosHeaderSize = 0x40;
constexpr std::uint64_t kNewHeaderOffset = 0x3C;
// The root's length is 16 bits: bytes past it cannot change the answer.
constexpr std::uint32_t kMaxVersionBlock = 0xFFFF;

void ReadBytes(ByteImage& file, std::uint64_t offset, void* out, std::size_t size) {
  if (!file.ReadAt(offset, out, size)) throw pe::FormatError("the file cannot be read");
}

// Whether an MZ file's new header is a PE one; anything else at that place
// (NE, LE, nothing) makes it an older program.
bool HasPeHeader(ByteImage& file) {
  if (file.Size() < kDosHeaderSize) return false;
  std::uint8_t at[4];
  ReadBytes(file, kNewHeaderOffset, at, sizeof at);
  const std::uint64_t header = at[0] | (at[1] << 8) | (at[2] << 16) | (std::uint64_t{at[3]} << 24);
  if (!RangeFits(header, 4, file.Size())) return false;
  std::uint8_t signature[4];
  ReadBytes(file, header, signature, sizeof signature);
  return signature[0] == 'P' && signature[1] == 'E' && signature[2] == 0 && signature[3] == 0;
}

}  // namespace

FileFixedInfo ReadFileFixedInfo(ByteImage& source, FixedFileInfoBytes& info) {
  CachedImage file(source);
  try {
    std::uint8_t mz[2];
    if (file.Size() < sizeof mz) return FileFixedInfo::kNone;
    ReadBytes(file, 0, mz, sizeof mz);
    if (mz[0] != 'M' || mz[1] != 'Z') return FileFixedInfo::kNone;
    if (!HasPeHeader(file)) return FileFixedInfo::kOlderProgram;
    const pe::Image image(file);
    const std::optional<pe::Resource> resource = pe::FindVersionResource(image);
    if (!resource) return FileFixedInfo::kNone;
    const std::vector<std::uint8_t> block =
        image.Bytes(resource->fileOffset, std::min(resource->size, kMaxVersionBlock));
    return ReadFixedFileInfo(block, info) ? FileFixedInfo::kFound : FileFixedInfo::kNone;
  } catch (const pe::FormatError&) {
    return FileFixedInfo::kNone;
  }
}
