// Expansion of one packed resource into a SHA-256 digest, and the verdict of
// comparing it with its row of the digest table. The expanded bytes are
// hashed as they come, never held: a payload file can be 15 MB.
#pragma once

#include <cstdint>
#include <string>

#include "payload/portable/digest_table.h"
#include "payload/portable/szdd_expander.h"

struct Expansion {
  szdd::ExpandStatus status = szdd::ExpandStatus::kOk;
  std::uint64_t expandedSize = 0;
  Sha256Digest sha256{};
  // Of the expanded text, for registry scripts: the number of lines (a last
  // line without a line break counts) and of lines that start a key ("[").
  std::uint64_t lines = 0;
  std::uint64_t keys = 0;
};

// Expands `source` and hashes what comes out. False only when the digest
// itself cannot be computed (libcrypto failed); an expansion failure is
// reported in `status`.
bool ExpandAndHash(szdd::ByteSource& source, Expansion& result);

enum class Verdict {
  kOk,
  kExpansionFailed,
  kNoDigestTable,
  kNoDigestRow,
  kSizeMismatch,
  kDigestMismatch,
};

// Compares an expansion with its row; `row` is null when the table has no
// row for the resource, `haveTable` false when there is no usable table.
Verdict Judge(const Expansion& expansion, const PayloadDigest* row, bool haveTable);

// The verdict as the inspector prints it: "ok", or a word in capitals and the
// reason in parentheses.
std::string VerdictText(Verdict verdict, const Expansion& expansion, const PayloadDigest* row);

std::string HexDigest(const Sha256Digest& digest);
