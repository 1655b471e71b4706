#include "tools/szdd_packer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "payload/portable/szdd_expander.h"

namespace szdd {

namespace {

// References reach at most 4095 bytes back: a reference to the ring slot that
// is about to be overwritten (4096 back) is left alone, as decoders that copy
// through a separate ring could differ on it.
constexpr std::uint32_t kMaxDistance = kRingSize - 1;
const bool kLittleEndian = [] {
  const std::uint16_t probe = 1;
  std::uint8_t first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}();
constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kHashBits = 14;
constexpr std::size_t kBlockSize = 1u << 20;
constexpr std::uint32_t kLiteralCost = 9;
constexpr std::uint32_t kReferenceCost = 17;

// Longest-match finder over a binary tree per hash of the first three bytes
// (positions in a tree sorted by their next kMaxMatch bytes; a newer position
// always sits above older ones, so the search stops at the first position
// that is out of reach). Positions index `text`, which holds 4096 spaces
// followed by the data, so matches may start in the ring's initial spaces.
class MatchFinder {
 public:
  // Bytes readable past the last position, for the word-wise comparison.
  static constexpr std::size_t kPadding = 8;

  MatchFinder(const std::uint8_t* text, std::size_t total)
      : text_(text), total_(total), head_(std::size_t{1} << kHashBits, kNone),
        son_(2 * kRingSize, kNone) {}

  // Inserts `pos` (which must have kMaxMatch bytes after it) and returns the
  // longest match among the earlier positions, its distance in `distance`.
  std::uint32_t InsertAndFind(std::uint32_t pos, std::uint32_t& distance) {
    const std::uint8_t* cur = text_ + pos;
    const std::uint32_t h =
        ((cur[0] << 8 ^ cur[1] << 4 ^ cur[2]) * 2654435761u) >> (32 - kHashBits);
    std::uint32_t match = head_[h];
    head_[h] = pos;
    std::uint32_t* ptr0 = &son_[2 * (pos & (kRingSize - 1)) + 1];
    std::uint32_t* ptr1 = &son_[2 * (pos & (kRingSize - 1))];
    std::uint32_t len0 = 0;
    std::uint32_t len1 = 0;
    std::uint32_t best = 0;
    for (;;) {
      if (match == kNone || pos - match > kMaxDistance) {
        *ptr0 = *ptr1 = kNone;
        break;
      }
      std::uint32_t* pair = &son_[2 * (match & (kRingSize - 1))];
      const std::uint8_t* pb = text_ + match;
      std::uint32_t len = std::min(len0, len1);
      if (pb[len] == cur[len]) {
        len = CommonLength(pb, cur, len + 1);
        if (len > best) {
          best = len;
          distance = pos - match;
        }
        if (len == kMaxMatch) {
          // Equal as far as matches go: the new position takes its place.
          *ptr1 = pair[0];
          *ptr0 = pair[1];
          break;
        }
      }
      if (pb[len] < cur[len]) {
        *ptr1 = match;
        ptr1 = pair + 1;
        match = *ptr1;
        len1 = len;
      } else {
        *ptr0 = match;
        ptr0 = pair;
        match = *ptr0;
        len0 = len;
      }
    }
    return best;
  }

  // How many of the first kMaxMatch bytes at `a` and `b` agree, given that
  // the first `len` do; eight bytes at a time.
  static std::uint32_t CommonLength(const std::uint8_t* a, const std::uint8_t* b,
                                    std::uint32_t len) {
    while (len < kMaxMatch) {
      std::uint64_t wa;
      std::uint64_t wb;
      std::memcpy(&wa, a + len, 8);
      std::memcpy(&wb, b + len, 8);
      const std::uint64_t diff = wa ^ wb;
      if (diff != 0) {
        len += static_cast<std::uint32_t>(FirstDifferentByte(diff));
        break;
      }
      len += 8;
    }
    return len < kMaxMatch ? len : static_cast<std::uint32_t>(kMaxMatch);
  }

  // Index of the lowest differing byte of two words loaded little-endian.
  static unsigned FirstDifferentByte(std::uint64_t diff) {
#if defined(__GNUC__)
    if (kLittleEndian) return static_cast<unsigned>(__builtin_ctzll(diff)) / 8;
#endif
    unsigned i = 0;
    if (kLittleEndian) {
      while ((diff & 0xFF) == 0) diff >>= 8, ++i;
    } else {
      while ((diff >> 56) == 0) diff <<= 8, ++i;
    }
    return i;
  }

  // The longest match at one of the last positions, where fewer than
  // kMaxMatch bytes are left, by trying every distance.
  std::uint32_t FindNearEnd(std::uint32_t pos, std::uint32_t& distance) const {
    const std::uint32_t limit = static_cast<std::uint32_t>(total_ - pos);
    std::uint32_t best = 0;
    for (std::uint32_t d = 1; d <= kMaxDistance && best < limit; ++d) {
      std::uint32_t len = 0;
      while (len < limit && text_[pos - d + len] == text_[pos + len]) ++len;
      if (len > best) {
        best = len;
        distance = d;
      }
    }
    return best;
  }

 private:
  const std::uint8_t* text_;
  std::size_t total_;
  std::vector<std::uint32_t> head_;
  std::vector<std::uint32_t> son_;
};

class ItemWriter {
 public:
  explicit ItemWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  void Literal(std::uint8_t byte) {
    StartItem(true);
    out_.push_back(byte);
  }

  // A reference to the ring slot `distance` bytes behind output byte
  // `produced`, of `length` bytes.
  void Reference(std::size_t produced, std::uint32_t distance, std::uint32_t length) {
    StartItem(false);
    const std::uint32_t from =
        static_cast<std::uint32_t>(kRingStart + produced - distance) & (kRingSize - 1);
    out_.push_back(static_cast<std::uint8_t>(from & 0xFF));
    out_.push_back(static_cast<std::uint8_t>(((from >> 4) & 0xF0) | (length - kMinMatch)));
  }

 private:
  void StartItem(bool literal) {
    if (bit_ == 8) {
      flag_at_ = out_.size();
      out_.push_back(0);
      bit_ = 0;
    }
    if (literal) out_[flag_at_] |= static_cast<std::uint8_t>(1u << bit_);
    ++bit_;
  }

  std::vector<std::uint8_t>& out_;
  std::size_t flag_at_ = 0;
  unsigned bit_ = 8;
};

}  // namespace

std::vector<std::uint8_t> Pack(const std::uint8_t* data, std::size_t size) {
  if (size > std::numeric_limits<std::uint32_t>::max() - 2 * kRingSize) {
    throw std::length_error("SZDD files hold less than 4 GiB");
  }
  std::vector<std::uint8_t> out(kSignature, kSignature + sizeof kSignature);
  out.push_back(kModeA);
  out.push_back(0);
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<std::uint8_t>(size >> shift));
  }
  if (size == 0) return out;
  out.reserve(out.size() + size + size / 8 + 16);

  // The text the matches are found in: the ring's initial spaces, then the data.
  std::vector<std::uint8_t> text(kRingSize + size + MatchFinder::kPadding);
  std::fill(text.begin(), text.begin() + kRingSize, ' ');
  std::copy(data, data + size, text.begin() + kRingSize);
  const std::uint32_t total = static_cast<std::uint32_t>(kRingSize + size);
  // Positions up to this one have a full kMaxMatch bytes after them.
  const std::uint32_t tree_end = total >= kMaxMatch ? total - kMaxMatch + 1 : 0;

  MatchFinder finder(text.data(), total);
  std::uint32_t distance = 0;
  // Of the initial spaces only the last kMaxMatch positions need to be in the
  // tree: every earlier one starts with the same kMaxMatch spaces and lies
  // farther back.
  for (std::uint32_t pos = kRingSize - kMaxMatch; pos < kRingSize && pos < tree_end; ++pos) {
    finder.InsertAndFind(pos, distance);
  }

  ItemWriter writer(out);
  const std::size_t block_cap = std::min(kBlockSize, size);
  std::vector<std::uint8_t> longest(block_cap);
  std::vector<std::uint16_t> where(block_cap);
  std::vector<std::uint32_t> cost(block_cap + 1);
  std::vector<std::uint8_t> choice(block_cap);

  for (std::uint32_t begin = kRingSize; begin < total;) {
    const std::uint32_t end = static_cast<std::uint32_t>(std::min<std::size_t>(total, begin + kBlockSize));
    const std::uint32_t n = end - begin;
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint32_t pos = begin + i;
      distance = 0;
      const std::uint32_t len = pos < tree_end ? finder.InsertAndFind(pos, distance)
                                               : finder.FindNearEnd(pos, distance);
      longest[i] = static_cast<std::uint8_t>(len);
      where[i] = static_cast<std::uint16_t>(distance);
    }
    // Cheapest way from each position to the end of the block.
    cost[n] = 0;
    for (std::uint32_t i = n; i-- > 0;) {
      std::uint32_t best = cost[i + 1] + kLiteralCost;
      std::uint8_t pick = 0;
      const std::uint32_t reach = std::min<std::uint32_t>(longest[i], n - i);
      for (std::uint32_t len = kMinMatch; len <= reach; ++len) {
        const std::uint32_t c = cost[i + len] + kReferenceCost;
        if (c <= best) {
          best = c;
          pick = static_cast<std::uint8_t>(len);
        }
      }
      cost[i] = best;
      choice[i] = pick;
    }
    for (std::uint32_t i = 0; i < n;) {
      const std::size_t produced = begin + i - kRingSize;
      if (choice[i] == 0) {
        writer.Literal(text[begin + i]);
        ++i;
      } else {
        writer.Reference(produced, where[i], choice[i]);
        i += choice[i];
      }
    }
    begin = end;
  }
  return out;
}

}  // namespace szdd
