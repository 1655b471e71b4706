#include "payload/portable/sha256.h"

#include <algorithm>
#include <cstring>

#include "payload/portable/sha256_blocks.h"

namespace {

using sha256_detail::kBlockSize;
using CompressFunction = void (*)(sha256_detail::State&, const std::uint8_t*, std::size_t);

// Chosen on first use: CPUID is asked once per run.
CompressFunction Compress() {
  static const CompressFunction chosen =
      sha256_detail::ShaInstructionsAvailable() ? sha256_detail::CompressSha : sha256_detail::CompressScalar;
  return chosen;
}

void PutBigEndian(std::uint8_t* at, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i, value >>= 8) at[i] = static_cast<std::uint8_t>(value);
}

}  // namespace

Sha256::Sha256() : state_(sha256_detail::kInitialState) {}

void Sha256::Update(const void* data, std::size_t size) {
  if (size == 0) return;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  total_ += size;
  if (tailSize_ > 0) {
    const std::size_t taken = std::min(size, kBlockSize - tailSize_);
    std::memcpy(tail_.data() + tailSize_, bytes, taken);
    tailSize_ += taken;
    bytes += taken;
    size -= taken;
    if (tailSize_ < kBlockSize) return;
    Compress()(state_, tail_.data(), 1);
    tailSize_ = 0;
  }
  // Whole blocks straight from the caller's buffer.
  const std::size_t blocks = size / kBlockSize;
  if (blocks > 0) Compress()(state_, bytes, blocks);
  tailSize_ = size - blocks * kBlockSize;
  if (tailSize_ > 0) std::memcpy(tail_.data(), bytes + blocks * kBlockSize, tailSize_);
}

Sha256Digest Sha256::Finish() {
  // A 1 bit, zeros up to 8 bytes short of a block's end, the length in bits.
  constexpr std::size_t kLengthAt = kBlockSize - 8;
  tail_[tailSize_++] = 0x80;
  if (tailSize_ > kLengthAt) {
    std::fill(tail_.begin() + tailSize_, tail_.end(), 0);
    Compress()(state_, tail_.data(), 1);
    tailSize_ = 0;
  }
  std::fill(tail_.begin() + tailSize_, tail_.begin() + kLengthAt, 0);
  PutBigEndian(tail_.data() + kLengthAt, total_ * 8, 8);
  Compress()(state_, tail_.data(), 1);
  Sha256Digest digest{};
  for (std::size_t i = 0; i < state_.size(); ++i) PutBigEndian(digest.data() + 4 * i, state_[i], 4);
  return digest;
}
