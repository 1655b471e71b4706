#include "payload/portable/sha256.h"

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "payload/portable/sha256_blocks.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Hex(const Sha256Digest& digest) {
  std::string text;
  char pair[3];
  for (const std::uint8_t byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text;
}

Sha256Digest Reference(const Bytes& data) {
  Sha256Digest digest{};
  SHA256(data.data(), data.size(), digest.data());
  return digest;
}

// The digest of `data` given to Update in pieces, each as long as
// pieceSize() says (cut short at the end).
template <typename PieceSize>
Sha256Digest InPieces(const Bytes& data, PieceSize pieceSize) {
  Sha256 hash;
  for (std::size_t at = 0; at < data.size();) {
    const std::size_t piece = std::min(pieceSize(), data.size() - at);
    hash.Update(data.data() + at, piece);
    at += piece;
  }
  return hash.Finish();
}

Sha256Digest Whole(const Bytes& data) {
  return InPieces(data, [&] { return data.size(); });
}

Bytes RandomBytes(std::mt19937& random, std::size_t size) {
  Bytes bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

std::string KnownAnswer(const std::string& text) {
  return Hex(Whole(Bytes(text.begin(), text.end())));
}

TEST(Sha256, KnownAnswers) {
  EXPECT_EQ(KnownAnswer(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(KnownAnswer("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 448 bits: the padding no longer fits, a second block is needed.
  EXPECT_EQ(KnownAnswer("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(Sha256, MillionAsInOddPieces) {
  const Bytes data(1000000, 'a');
  std::size_t next = 0;
  const std::size_t sizes[] = {1, 63, 65, 127, 4093, 7};
  const Sha256Digest digest = InPieces(data, [&] { return sizes[next++ % std::size(sizes)]; });
  EXPECT_EQ(Hex(digest), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Every length around the one-, two- and several-block padding edges, fed
// whole, a byte at a time and in random pieces.
TEST(Sha256, EveryShortLengthMatchesOpenSsl) {
  std::mt19937 random(2024);
  for (std::size_t size = 0; size <= 300; ++size) {
    SCOPED_TRACE("size " + std::to_string(size));
    const Bytes data = RandomBytes(random, size);
    const Sha256Digest expected = Reference(data);
    EXPECT_EQ(Whole(data), expected);
    EXPECT_EQ(InPieces(data, [] { return std::size_t{1}; }), expected);
    std::uniform_int_distribution<std::size_t> pieceSize(0, 130);
    EXPECT_EQ(InPieces(data, [&] { return pieceSize(random); }), expected);
  }
}

TEST(Sha256, EmptyUpdatesChangeNothing) {
  const Bytes data = {'a', 'b', 'c'};
  Sha256 hash;
  hash.Update(nullptr, 0);
  hash.Update(data.data(), data.size());
  hash.Update(data.data(), 0);
  EXPECT_EQ(hash.Finish(), Reference(data));
}

// The path the hash takes depends on the CPU: both must agree on any state
// and any run of blocks.
TEST(Sha256Blocks, ShaInstructionsGiveTheScalarState) {
  if (!sha256_detail::ShaInstructionsAvailable()) GTEST_SKIP() << "this CPU has no SHA instructions";
  std::mt19937 random(7);
  for (std::size_t blocks = 1; blocks <= 9; ++blocks) {
    for (int round = 0; round < 20; ++round) {
      SCOPED_TRACE("blocks " + std::to_string(blocks) + " round " + std::to_string(round));
      sha256_detail::State scalar;
      for (auto& word : scalar) word = random();
      sha256_detail::State sha = scalar;
      // Sized exactly, and off by one from any alignment: the sanitizer sees
      // a read past the end, and unaligned loads are exercised.
      const Bytes buffer = RandomBytes(random, blocks * sha256_detail::kBlockSize + 1);
      sha256_detail::CompressScalar(scalar, buffer.data() + 1, blocks);
      sha256_detail::CompressSha(sha, buffer.data() + 1, blocks);
      EXPECT_EQ(sha, scalar);
    }
  }
}

}  // namespace
