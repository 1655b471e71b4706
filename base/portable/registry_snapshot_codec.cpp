#include "base/portable/registry_snapshot_codec.h"

#include <array>
#include <cstddef>

// Layout, all numbers little-endian:
//   "RSNP", version 1, the body's size, the body, CRC-32 of all before it.
//   body: key count; per key: view, existed (0 or 1), path, value count;
//         per value: name, type, data size, data.
//   A text is its count of UTF-16 units and the units.
// The size and the check cover every byte: a changed byte fails the CRC
// (which finds every error of up to 32 bits in a row), a missing or added one
// the size.

namespace {

constexpr char kMagic[4] = {'R', 'S', 'N', 'P'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderSize = 12;
constexpr size_t kCheckSize = 4;

uint32_t Crc32(const std::string& bytes, size_t size) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ static_cast<uint8_t>(bytes[i])) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

void PutU32(std::string& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void PutText(std::string& out, const std::wstring& text) {
  PutU32(out, static_cast<uint32_t>(text.size()));
  for (wchar_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>((unit >> 8) & 0xFF));
  }
}

class Reader {
 public:
  Reader(const std::string& bytes, size_t begin, size_t end) : bytes_(bytes), at_(begin), end_(end) {}

  bool U32(uint32_t& value) {
    if (end_ - at_ < 4) return false;
    value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes_[at_ + i]);
    at_ += 4;
    return true;
  }
  bool Byte(uint8_t& value) {
    if (at_ == end_) return false;
    value = static_cast<uint8_t>(bytes_[at_++]);
    return true;
  }
  bool Text(std::wstring& text) {
    uint32_t units = 0;
    if (!U32(units) || (end_ - at_) / 2 < units) return false;
    text.clear();
    for (uint32_t i = 0; i < units; ++i, at_ += 2) {
      text.push_back(static_cast<wchar_t>(static_cast<uint8_t>(bytes_[at_]) |
                                          (static_cast<uint8_t>(bytes_[at_ + 1]) << 8)));
    }
    return true;
  }
  bool Bytes(std::vector<uint8_t>& data) {
    uint32_t size = 0;
    if (!U32(size) || end_ - at_ < size) return false;
    data.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + size));
    at_ += size;
    return true;
  }
  // A count of items that take at least `minimum` bytes each, so that a
  // false count cannot make the decoder reserve more than the bytes hold.
  bool Count(uint32_t& count, size_t minimum) { return U32(count) && count <= (end_ - at_) / minimum; }
  bool AtEnd() const { return at_ == end_; }

 private:
  const std::string& bytes_;
  size_t at_;
  size_t end_;
};

bool KnownView(uint32_t view) { return view == 0 || view == 0x100 || view == 0x200; }

}  // namespace

std::string EncodeRegistrySnapshot(const RegistrySnapshot& snapshot) {
  std::string body;
  PutU32(body, static_cast<uint32_t>(snapshot.keys.size()));
  for (const SnapshotKey& key : snapshot.keys) {
    PutU32(body, key.view);
    body.push_back(key.existed ? 1 : 0);
    PutText(body, key.path);
    PutU32(body, static_cast<uint32_t>(key.values.size()));
    for (const SnapshotValue& value : key.values) {
      PutText(body, value.name);
      PutU32(body, value.type);
      PutU32(body, static_cast<uint32_t>(value.data.size()));
      body.append(value.data.begin(), value.data.end());
    }
  }
  std::string out(kMagic, sizeof kMagic);
  PutU32(out, kVersion);
  PutU32(out, static_cast<uint32_t>(body.size()));
  out += body;
  PutU32(out, Crc32(out, out.size()));
  return out;
}

bool DecodeRegistrySnapshot(const std::string& bytes, RegistrySnapshot& snapshot) {
  if (bytes.size() < kHeaderSize + kCheckSize || bytes.compare(0, sizeof kMagic, kMagic, sizeof kMagic) != 0) {
    return false;
  }
  const size_t checked = bytes.size() - kCheckSize;
  uint32_t version = 0, bodySize = 0, check = 0;
  Reader header(bytes, sizeof kMagic, kHeaderSize);
  Reader trailer(bytes, checked, bytes.size());
  if (!header.U32(version) || !header.U32(bodySize) || !trailer.U32(check)) return false;
  if (version != kVersion || bodySize != checked - kHeaderSize || check != Crc32(bytes, checked)) return false;

  Reader body(bytes, kHeaderSize, checked);
  RegistrySnapshot decoded;
  uint32_t keys = 0;
  if (!body.Count(keys, 13)) return false;  // view, existed, path size, value count
  decoded.keys.reserve(keys);
  for (uint32_t k = 0; k < keys; ++k) {
    SnapshotKey key;
    uint8_t existed = 0;
    uint32_t values = 0;
    if (!body.U32(key.view) || !KnownView(key.view) || !body.Byte(existed) || existed > 1 || !body.Text(key.path) ||
        !body.Count(values, 12)) {  // name size, type, data size
      return false;
    }
    key.existed = existed == 1;
    if (!key.existed && values != 0) return false;  // a key that did not exist had no values
    key.values.reserve(values);
    for (uint32_t v = 0; v < values; ++v) {
      SnapshotValue value;
      if (!body.Text(value.name) || !body.U32(value.type) || !body.Bytes(value.data)) return false;
      key.values.push_back(std::move(value));
    }
    decoded.keys.push_back(std::move(key));
  }
  if (!body.AtEnd()) return false;
  snapshot = std::move(decoded);
  return true;
}
