#include "payload/portable/digest_table.h"

#include <algorithm>
#include <cstring>

namespace {

void PutWord(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t GetWord(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

bool ById(const PayloadDigest& a, const PayloadDigest& b) { return a.resourceId < b.resourceId; }

}  // namespace

bool FormatDigestTable(std::vector<PayloadDigest> rows, std::vector<std::uint8_t>& table) {
  std::sort(rows.begin(), rows.end(), ById);
  for (std::size_t i = 1; i < rows.size(); ++i) {
    if (rows[i].resourceId == rows[i - 1].resourceId) return false;
  }
  table.assign(std::begin(kDigestTableMagic), std::end(kDigestTableMagic));
  PutWord(table, static_cast<std::uint32_t>(rows.size()));
  for (const PayloadDigest& row : rows) {
    PutWord(table, row.resourceId);
    PutWord(table, row.expandedSize);
    table.insert(table.end(), row.sha256.begin(), row.sha256.end());
  }
  return true;
}

bool ParseDigestTable(const std::uint8_t* data, std::size_t size, std::vector<PayloadDigest>& rows) {
  rows.clear();
  if (data == nullptr || size < kDigestTableHeaderSize ||
      std::memcmp(data, kDigestTableMagic, sizeof kDigestTableMagic) != 0) {
    return false;
  }
  const std::uint32_t count = GetWord(data + 4);
  if ((size - kDigestTableHeaderSize) / kDigestTableRowSize != count ||
      (size - kDigestTableHeaderSize) % kDigestTableRowSize != 0) {
    return false;
  }
  std::vector<PayloadDigest> parsed(count);
  const std::uint8_t* at = data + kDigestTableHeaderSize;
  for (PayloadDigest& row : parsed) {
    row.resourceId = GetWord(at);
    row.expandedSize = GetWord(at + 4);
    std::memcpy(row.sha256.data(), at + 8, row.sha256.size());
    at += kDigestTableRowSize;
    if (&row != parsed.data() && (&row - 1)->resourceId >= row.resourceId) return false;
  }
  rows = std::move(parsed);
  return true;
}

const PayloadDigest* FindDigest(const std::vector<PayloadDigest>& rows, std::uint32_t resourceId) {
  PayloadDigest key;
  key.resourceId = resourceId;
  const auto found = std::lower_bound(rows.begin(), rows.end(), key, ById);
  return found != rows.end() && found->resourceId == resourceId ? &*found : nullptr;
}
