// The table of SHA-256 digests of the expanded payload that updater.exe
// carries as a resource, keyed by resource id (PATCH and REG ids do not
// overlap). Written at build time from the same files that are packed into
// the resources, read at run time before anything is installed.
//
// Layout, all numbers little-endian:
//   bytes 0..3   magic "DGST"
//   bytes 4..7   number of rows
//   then per row, ids strictly ascending:
//     4 bytes resource id, 4 bytes expanded size, 32 bytes SHA-256
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

using Sha256Digest = std::array<std::uint8_t, 32>;

struct PayloadDigest {
  std::uint32_t resourceId = 0;
  std::uint32_t expandedSize = 0;
  Sha256Digest sha256{};
};

inline constexpr std::uint8_t kDigestTableMagic[4] = {'D', 'G', 'S', 'T'};
inline constexpr std::size_t kDigestTableHeaderSize = 8;
inline constexpr std::size_t kDigestTableRowSize = 40;

// The table's bytes, rows sorted by id. False (nothing written) when two rows
// share an id.
bool FormatDigestTable(std::vector<PayloadDigest> rows, std::vector<std::uint8_t>& table);

// Reads a table. False, with `rows` empty, when the magic is wrong, the size
// does not match the row count, or the ids are not strictly ascending.
bool ParseDigestTable(const std::uint8_t* data, std::size_t size, std::vector<PayloadDigest>& rows);

// The row of `resourceId`, or null when the table has none.
const PayloadDigest* FindDigest(const std::vector<PayloadDigest>& rows, std::uint32_t resourceId);
