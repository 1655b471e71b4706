#include "payload/portable/szdd_expander.h"

#include <cstring>
#include <memory>
#include <new>

namespace szdd {

namespace {

// Input is read in blocks of this size.
constexpr std::size_t kInSize = 64 * 1024;
// Expanded bytes are collected in blocks of this size before they are written.
constexpr std::size_t kOutSize = 64 * 1024;
// The most one flag group can produce: eight references of the longest length.
constexpr std::size_t kGroupMax = 8 * kMaxMatch;
// The most one flag group can consume: the flag byte and eight references.
constexpr std::size_t kGroupInMax = 1 + 8 * 2;

// The output buffer doubles as the ring: the 4096 bytes before the write
// position are always the last 4096 bytes produced (spaces before the start),
// so a reference is a copy from a fixed distance back and never wraps.
// Behind the flush limit there is room for one whole group plus the
// over-copy of the fast path.
constexpr std::size_t kOutFlushAt = kRingSize + kOutSize;
constexpr std::size_t kOutCapacity = kOutFlushAt + kGroupMax + 16;
// The fast path copies literals eight bytes at a time, up to 8 bytes past
// the last group that fits.
constexpr std::size_t kInCapacity = kInSize + 8;

// Distance back from output position `pos` to the ring slot `from`: 1..4096,
// 4096 when the slot is the one about to be overwritten.
inline std::size_t Distance(std::size_t ring_bias, std::size_t pos, unsigned from) {
  return ((ring_bias + pos - from - 1) & (kRingSize - 1)) + 1;
}

// The number of low one bits of `bits` (< 256): the literals before the next
// reference. It is never more than the bits left, as the spent ones are
// shifted out and zeros come in from the top.
inline unsigned TrailingOnes(unsigned bits) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctz(~bits));
#else
  unsigned n = 0;
  while (bits & 1) bits >>= 1, ++n;
  return n;
#endif
}

class Expansion {
 public:
  Expansion(ByteSource& source, ByteSink& sink, std::uint8_t* in, std::uint8_t* out)
      : source_(source), sink_(sink), in_(in), out_(out) {}

  ExpandStatus Run(std::uint32_t* declared_length);

 private:
  // Makes at least `count` unread input bytes available unless the source
  // ends first; returns whether they are there.
  bool Need(std::size_t count);
  bool Flush(std::size_t& pos);

  ByteSource& source_;
  ByteSink& sink_;
  std::uint8_t* in_;
  std::uint8_t* out_;
  std::size_t in_pos_ = 0;
  std::size_t in_end_ = 0;
  bool source_ended_ = false;
  bool read_failed_ = false;
};

bool Expansion::Need(std::size_t count) {
  while (in_end_ - in_pos_ < count) {
    if (source_ended_) return false;
    const std::size_t left = in_end_ - in_pos_;
    std::memmove(in_, in_ + in_pos_, left);
    in_pos_ = 0;
    in_end_ = left;
    const std::ptrdiff_t got = source_.Read(in_ + left, kInSize - left);
    if (got < 0 || static_cast<std::size_t>(got) > kInSize - left) {
      // An error, or a source that claims more than it was given room for.
      read_failed_ = true;
      source_ended_ = true;
      return false;
    }
    if (got == 0) {
      source_ended_ = true;
      continue;
    }
    in_end_ += static_cast<std::size_t>(got);
  }
  return true;
}

// Writes the bytes produced since the last flush and keeps the last 4096 of
// them in front as the ring.
bool Expansion::Flush(std::size_t& pos) {
  if (pos > kRingSize && !sink_.Write(out_ + kRingSize, pos - kRingSize)) return false;
  std::memmove(out_, out_ + pos - kRingSize, kRingSize);
  pos = kRingSize;
  return true;
}

ExpandStatus Expansion::Run(std::uint32_t* declared_length) {
  if (!Need(kHeaderSize)) {
    if (read_failed_) return ExpandStatus::kReadFailed;
    const std::size_t have = in_end_ - in_pos_;
    const std::size_t cmp = have < sizeof kSignature ? have : sizeof kSignature;
    const bool prefix_ok = std::memcmp(in_ + in_pos_, kSignature, cmp) == 0 &&
                           (have <= sizeof kSignature || in_[in_pos_ + 8] == kModeA);
    return prefix_ok ? ExpandStatus::kTruncated : ExpandStatus::kBadHeader;
  }
  const std::uint8_t* header = in_ + in_pos_;
  if (std::memcmp(header, kSignature, sizeof kSignature) != 0 || header[8] != kModeA) {
    return ExpandStatus::kBadHeader;
  }
  const std::uint32_t length = static_cast<std::uint32_t>(header[10]) |
                               static_cast<std::uint32_t>(header[11]) << 8 |
                               static_cast<std::uint32_t>(header[12]) << 16 |
                               static_cast<std::uint32_t>(header[13]) << 24;
  in_pos_ += kHeaderSize;
  if (declared_length != nullptr) *declared_length = length;

  std::memset(out_, ' ', kRingSize);
  std::size_t pos = kRingSize;           // write position in out_
  std::uint32_t remaining = length;      // bytes still to produce
  // The format's ring write position is (ring_bias + pos) mod 4096.
  std::size_t ring_bias = kRingStart - kRingSize;
  unsigned flags = 0;                    // bit 8 set while flag bits are left

  while (remaining > 0) {
    if (pos >= kOutFlushAt) {
      ring_bias += pos - kRingSize;
      if (!Flush(pos)) return ExpandStatus::kWriteFailed;
    }

    const bool group_in_view = (flags & 0x100) == 0 && remaining >= kGroupMax &&
                               (in_end_ - in_pos_ >= kGroupInMax || Need(kGroupInMax));
    if (read_failed_) return ExpandStatus::kReadFailed;
    if (group_in_view) {
      // Fast path: as many whole groups as the input, the room before the
      // flush limit and the declared length allow, so their items need no
      // checks and the loop keeps its pointers in registers. Each group reads
      // at most kGroupInMax bytes and writes at most kGroupMax (plus the
      // over-copy that the buffers' spare room takes).
      const std::size_t by_input = (in_end_ - in_pos_) / kGroupInMax;
      const std::size_t by_room = (kOutFlushAt - pos - 1) / kGroupMax + 1;
      const std::size_t by_length = remaining / kGroupMax;
      std::size_t groups = by_input < by_room ? by_input : by_room;
      if (by_length < groups) groups = by_length;
      const std::uint8_t* ip = in_ + in_pos_;
      std::uint8_t* op = out_ + pos;
      std::uint8_t* const start = op;
      while (groups-- > 0) {
        // The flag bits are unpredictable, so items are not taken one bit at
        // a time: each run of literals is one 8-byte copy (the bytes past the
        // run are scratch), then comes one reference.
        unsigned f = *ip++;
        if (f == 0xFF) {
          // Eight literals: the common group of data that does not compress.
          std::memcpy(op, ip, 8);
          ip += 8;
          op += 8;
          continue;
        }
        unsigned left = 8;
        while (left != 0) {
          const unsigned literals = TrailingOnes(f);
          std::memcpy(op, ip, 8);
          ip += literals;
          op += literals;
          left -= literals;
          if (left == 0) break;
          f >>= literals + 1;
          --left;
          const unsigned b0 = ip[0];
          const unsigned b1 = ip[1];
          ip += 2;
          const std::size_t distance =
              Distance(ring_bias, static_cast<std::size_t>(op - out_), b0 | ((b1 & 0xF0u) << 4));
          const unsigned len = (b1 & 0x0Fu) + kMinMatch;
          const std::uint8_t* src = op - distance;
          if (distance >= 16) {
            // No overlap within the first 16 bytes; bytes 16 and 17 may repeat
            // bytes just copied, which is what the ring would give too. Bytes
            // past `len` are scratch, overwritten by later items.
            std::memcpy(op, src, 16);
            std::memcpy(op + 16, src + 16, 2);
          } else {
            for (unsigned i = 0; i < len; ++i) op[i] = src[i];
          }
          op += len;
        }
      }
      in_pos_ = static_cast<std::size_t>(ip - in_);
      const std::size_t produced = static_cast<std::size_t>(op - start);
      pos += produced;
      remaining -= static_cast<std::uint32_t>(produced);
      continue;
    }

    // Slow path: one item at a time, with every check.
    if ((flags & 0x100) == 0) {
      if (!Need(1)) return read_failed_ ? ExpandStatus::kReadFailed : ExpandStatus::kTruncated;
      flags = in_[in_pos_++] | 0xFF00u;
    }
    const bool literal = (flags & 1) != 0;
    flags >>= 1;
    if (literal) {
      if (!Need(1)) return read_failed_ ? ExpandStatus::kReadFailed : ExpandStatus::kTruncated;
      out_[pos++] = in_[in_pos_++];
      --remaining;
      continue;
    }
    if (!Need(2)) return read_failed_ ? ExpandStatus::kReadFailed : ExpandStatus::kTruncated;
    const unsigned b0 = in_[in_pos_];
    const unsigned b1 = in_[in_pos_ + 1];
    in_pos_ += 2;
    const unsigned len = (b1 & 0x0Fu) + kMinMatch;
    if (len > remaining) return ExpandStatus::kOverrun;
    const std::size_t distance = Distance(ring_bias, pos, b0 | ((b1 & 0xF0u) << 4));
    for (unsigned i = 0; i < len; ++i) out_[pos + i] = out_[pos + i - distance];
    pos += len;
    remaining -= len;
  }
  if (!Flush(pos)) return ExpandStatus::kWriteFailed;
  return ExpandStatus::kOk;
}

}  // namespace

const char* Describe(ExpandStatus status) {
  switch (status) {
    case ExpandStatus::kOk: return "ok";
    case ExpandStatus::kReadFailed: return "the compressed data could not be read";
    case ExpandStatus::kBadHeader: return "not an SZDD file of compression mode A";
    case ExpandStatus::kTruncated: return "the compressed data ends early";
    case ExpandStatus::kOverrun: return "a reference goes past the expanded length";
    case ExpandStatus::kWriteFailed: return "the expanded data could not be written";
    case ExpandStatus::kOutOfMemory: return "out of memory";
  }
  return "unknown status";
}

ExpandStatus Expand(ByteSource& source, ByteSink& sink, std::uint32_t* declared_length) {
  std::unique_ptr<std::uint8_t[]> in(new (std::nothrow) std::uint8_t[kInCapacity]());
  std::unique_ptr<std::uint8_t[]> out(new (std::nothrow) std::uint8_t[kOutCapacity]);
  if (!in || !out) return ExpandStatus::kOutOfMemory;
  Expansion expansion(source, sink, in.get(), out.get());
  return expansion.Run(declared_length);
}

std::ptrdiff_t MemorySource::Read(std::uint8_t* buffer, std::size_t capacity) {
  std::size_t n = size_ - offset_;
  if (n > capacity) n = capacity;
  if (n > 0) std::memcpy(buffer, data_ + offset_, n);
  offset_ += n;
  return static_cast<std::ptrdiff_t>(n);
}

}  // namespace szdd
