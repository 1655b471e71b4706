#include "tools/payload_check.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <string>
#include <vector>

#include "tools/szdd_packer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A registry script whose last line has no line break.
const std::string kScript =
    "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"x\"=\"[y]\"\r\n[B]";

Sha256Digest Sha256(const std::string& text) {
  Sha256Digest digest{};
  unsigned int length = 0;
  EVP_Digest(text.data(), text.size(), digest.data(), &length, EVP_sha256(), nullptr);
  return digest;
}

Expansion ExpandPacked(const Bytes& packed) {
  szdd::MemorySource source(packed.data(), packed.size());
  Expansion expansion;
  EXPECT_TRUE(ExpandAndHash(source, expansion));
  return expansion;
}

Bytes Packed() {
  return szdd::Pack(reinterpret_cast<const std::uint8_t*>(kScript.data()), kScript.size());
}

TEST(PayloadCheck, HashesAndCountsTheExpandedText) {
  const Expansion expansion = ExpandPacked(Packed());
  ASSERT_EQ(expansion.status, szdd::ExpandStatus::kOk);
  EXPECT_EQ(expansion.expandedSize, kScript.size());
  EXPECT_EQ(expansion.sha256, Sha256(kScript));
  EXPECT_EQ(HexDigest(expansion.sha256).size(), 64u);
  EXPECT_EQ(expansion.lines, 5u);
  EXPECT_EQ(expansion.keys, 2u);  // "[y]" inside a value is no key
}

TEST(PayloadCheck, VerdictsAgainstTheRow) {
  const Expansion expansion = ExpandPacked(Packed());
  PayloadDigest row{301, static_cast<std::uint32_t>(kScript.size()), Sha256(kScript)};
  EXPECT_EQ(Judge(expansion, &row, true), Verdict::kOk);
  EXPECT_EQ(Judge(expansion, nullptr, true), Verdict::kNoDigestRow);
  EXPECT_EQ(Judge(expansion, &row, false), Verdict::kNoDigestTable);
  row.sha256[31] ^= 1;
  EXPECT_EQ(Judge(expansion, &row, true), Verdict::kDigestMismatch);
  EXPECT_EQ(VerdictText(Verdict::kDigestMismatch, expansion, &row), "MISMATCH (digest)");
  row.expandedSize += 1;
  EXPECT_EQ(Judge(expansion, &row, true), Verdict::kSizeMismatch);
}

TEST(PayloadCheck, TruncatedResourceFailsToExpand) {
  Bytes packed = Packed();
  packed.resize(packed.size() - 3);
  const Expansion expansion = ExpandPacked(packed);
  EXPECT_EQ(expansion.status, szdd::ExpandStatus::kTruncated);
  PayloadDigest row{301, static_cast<std::uint32_t>(kScript.size()), Sha256(kScript)};
  const Verdict verdict = Judge(expansion, &row, true);
  EXPECT_EQ(verdict, Verdict::kExpansionFailed);
  EXPECT_EQ(VerdictText(verdict, expansion, &row),
            std::string("FAILED (expansion: ") + szdd::Describe(szdd::ExpandStatus::kTruncated) + ")");
}

}  // namespace
