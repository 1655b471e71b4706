#include "tools/authenticode.h"

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/unit/little_endian.h"

namespace {

// A PE32 image of 0x400 bytes (headers and one section of filler), then a
// certificate table of kTableSize bytes at kTable, then kTrail bytes that
// are neither: every byte differs from its neighbours, so a hash that takes
// or leaves the wrong byte gives another digest.
constexpr std::size_t kOptional = 0x58;
constexpr std::size_t kCheckSum = kOptional + 64;
constexpr std::size_t kSecurityEntry = kOptional + 96 + 4 * 8;
constexpr std::size_t kSectionTable = kOptional + 0xE0;
constexpr std::size_t kTable = 0x400;
constexpr std::size_t kTableSize = 0x20;
constexpr std::size_t kTrail = 0x10;

Bytes SignedShape() {
  Bytes b(kTable + kTableSize + kTrail);
  for (std::size_t k = 0; k < b.size(); ++k) b[k] = static_cast<std::uint8_t>(k * 7 + 3);
  std::memset(b.data(), 0, 0x200);
  b[0] = 'M';
  b[1] = 'Z';
  Put32(b, 0x3C, 0x40);
  std::memcpy(&b[0x40], "PE\0\0", 4);
  Put16(b, 0x44, 0x14C);
  Put16(b, 0x46, 1);
  Put16(b, 0x54, 0xE0);
  Put16(b, kOptional, 0x10B);
  Put32(b, kCheckSum, 0x12345678);
  Put32(b, kOptional + 92, 16);
  Put32(b, kSecurityEntry, kTable);
  Put32(b, kSecurityEntry + 4, kTableSize);
  Put32(b, kSectionTable + 8, 0x200);
  Put32(b, kSectionTable + 12, 0x1000);
  Put32(b, kSectionTable + 16, 0x200);
  Put32(b, kSectionTable + 20, 0x200);
  // One entry filling the table: revision 2, PKCS#7, 24 bytes that are not DER.
  Put32(b, kTable, kTableSize);
  Put16(b, kTable + 4, authenticode::kRevision2);
  Put16(b, kTable + 6, authenticode::kTypePkcsSignedData);
  return b;
}

Bytes Digest(const Bytes& bytes) {
  MemoryImage memory(bytes);
  const pe::Image image(memory);
  Bytes digest;
  EXPECT_TRUE(authenticode::ImageDigest(image, EVP_sha256(), digest));
  return digest;
}

std::vector<authenticode::Certificate> Certificates(const Bytes& bytes) {
  MemoryImage memory(bytes);
  const pe::Image image(memory);
  return authenticode::ReadCertificates(image);
}

std::vector<authenticode::Signature> Signatures(const Bytes& bytes) {
  MemoryImage memory(bytes);
  const pe::Image image(memory);
  return authenticode::CheckSignatures(image);
}

TEST(Authenticode, ImageDigestIsTheFileWithoutCheckSumDirectoryEntryAndTable) {
  const Bytes image = SignedShape();
  Bytes kept(image.begin(), image.begin() + kCheckSum);
  kept.insert(kept.end(), image.begin() + kCheckSum + 4, image.begin() + kSecurityEntry);
  kept.insert(kept.end(), image.begin() + kSecurityEntry + 8, image.begin() + kTable);
  kept.insert(kept.end(), image.begin() + kTable + kTableSize, image.end());
  Bytes expected(SHA256_DIGEST_LENGTH);
  SHA256(kept.data(), kept.size(), expected.data());
  EXPECT_EQ(Digest(image), expected);
}

TEST(Authenticode, ImageDigestFollowsEveryByteButTheLeftOutOnes) {
  const Bytes image = SignedShape();
  const Bytes original = Digest(image);
  auto changed = [&](std::size_t at) {
    Bytes copy = image;
    copy[at] ^= 0x01;
    return Digest(copy) != original;
  };
  // The first and last byte of each region left out, and their neighbours.
  // (Changing the directory entry would move the table: the test above
  // covers it.)
  for (std::size_t at : {kCheckSum, kCheckSum + 3, kTable, kTable + 8, kTable + kTableSize - 1})
    EXPECT_FALSE(changed(at)) << "byte " << at;
  for (std::size_t at : {kCheckSum - 1, kCheckSum + 4, kSecurityEntry - 1, kSecurityEntry + 8, kTable - 1,
                         kTable + kTableSize, image.size() - 1, std::size_t{0x300}})
    EXPECT_TRUE(changed(at)) << "byte " << at;
}

TEST(Authenticode, EntriesStartOnEightByteBoundaries) {
  Bytes image = SignedShape();
  Put32(image, kTable, 13);  // 5 bytes of data, then 3 bytes of padding
  Put32(image, kTable + 16, 16);
  Put16(image, kTable + 16 + 4, authenticode::kRevision2);
  Put16(image, kTable + 16 + 6, 0x0001);
  const auto entries = Certificates(image);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].offset, kTable + 8);
  EXPECT_EQ(entries[0].size, 5u);
  EXPECT_EQ(entries[1].offset, kTable + 24);
  EXPECT_EQ(entries[1].size, 8u);
  EXPECT_EQ(entries[1].type, 0x0001);
}

TEST(Authenticode, TableRunningPastTheFileIsRefused) {
  Bytes image = SignedShape();
  Put32(image, kSecurityEntry + 4, kTableSize + kTrail + 1);
  EXPECT_THROW(Certificates(image), pe::FormatError);
  const auto signatures = Signatures(image);
  ASSERT_EQ(signatures.size(), 1u);
  EXPECT_FALSE(signatures[0].valid);
  EXPECT_NE(signatures[0].reason.find("past the end of the file"), std::string::npos) << signatures[0].reason;
}

TEST(Authenticode, EntryLongerThanTheTableIsRefused) {
  Bytes image = SignedShape();
  Put32(image, kTable, kTableSize + 8);
  EXPECT_THROW(Certificates(image), pe::FormatError);
}

TEST(Authenticode, EntryShorterThanItsHeaderIsRefused) {
  // A length of 0 would otherwise never move on to the next entry.
  for (std::uint32_t length : {0u, 7u}) {
    Bytes image = SignedShape();
    Put32(image, kTable, length);
    EXPECT_THROW(Certificates(image), pe::FormatError) << length;
  }
}

TEST(Authenticode, TableEndingInsideAnEntryHeaderIsRefused) {
  Bytes image = SignedShape();
  Put32(image, kTable, 16);
  // 16 bytes of entry, then 4 bytes: not room for the next 8-byte header.
  Put32(image, kSecurityEntry + 4, 20);
  EXPECT_THROW(Certificates(image), pe::FormatError);
}

TEST(Authenticode, DataThatIsNotPkcs7IsInvalid) {
  const auto signatures = Signatures(SignedShape());
  ASSERT_EQ(signatures.size(), 1u);
  EXPECT_FALSE(signatures[0].valid);
  EXPECT_NE(signatures[0].reason.find("not a PKCS#7"), std::string::npos) << signatures[0].reason;
}

TEST(Authenticode, NoSecurityDirectoryMeansUnsigned) {
  Bytes image = SignedShape();
  Put32(image, kSecurityEntry, 0);
  Put32(image, kSecurityEntry + 4, 0);
  EXPECT_TRUE(Signatures(image).empty());
}

}  // namespace
