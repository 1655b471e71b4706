#include "payload/portable/szdd_expander.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/unit/szdd_test_util.h"

namespace {

using szdd::ExpandStatus;
using szdd_test::Bytes;
using szdd_test::ExpandBytes;
using szdd_test::Header;

// Builds LZSS data item by item, the way a compressor would.
class Stream {
 public:
  explicit Stream(std::uint32_t length) : bytes_(Header(length)) {}
  Stream& Literal(std::uint8_t b) {
    Flag(true);
    bytes_.push_back(b);
    return *this;
  }
  Stream& Literals(const char* text) {
    for (; *text != '\0'; ++text) Literal(static_cast<std::uint8_t>(*text));
    return *this;
  }
  // A reference to ring slot `position` of `length` bytes.
  Stream& Reference(unsigned position, unsigned length) {
    Flag(false);
    bytes_.push_back(static_cast<std::uint8_t>(position & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(((position >> 4) & 0xF0) | (length - 3)));
    return *this;
  }
  Stream& Raw(std::uint8_t b) {
    bytes_.push_back(b);
    return *this;
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  void Flag(bool literal) {
    if (bit_ == 8) {
      flag_at_ = bytes_.size();
      bytes_.push_back(0);
      bit_ = 0;
    }
    if (literal) bytes_[flag_at_] |= static_cast<std::uint8_t>(1u << bit_);
    ++bit_;
  }
  Bytes bytes_;
  std::size_t flag_at_ = 0;
  unsigned bit_ = 8;
};

Bytes Text(const char* s) { return Bytes(s, s + std::strlen(s)); }

// Delivers the data in pieces of a fixed size, to cross every buffer edge.
class ChunkedSource : public szdd::ByteSource {
 public:
  ChunkedSource(const Bytes& data, std::size_t chunk) : data_(data), chunk_(chunk) {}
  std::ptrdiff_t Read(std::uint8_t* buffer, std::size_t capacity) override {
    std::size_t n = std::min({chunk_, capacity, data_.size() - offset_});
    std::memcpy(buffer, data_.data() + offset_, n);
    offset_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  const Bytes& data_;
  std::size_t chunk_;
  std::size_t offset_ = 0;
};

class FailingSource : public szdd::ByteSource {
 public:
  FailingSource(const Bytes& data, std::size_t fail_after) : data_(data), fail_after_(fail_after) {}
  std::ptrdiff_t Read(std::uint8_t* buffer, std::size_t capacity) override {
    if (offset_ >= fail_after_) return -1;
    std::size_t n = std::min({capacity, fail_after_ - offset_, data_.size() - offset_});
    std::memcpy(buffer, data_.data() + offset_, n);
    offset_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  const Bytes& data_;
  std::size_t fail_after_;
  std::size_t offset_ = 0;
};

class CollectingSink : public szdd::ByteSink {
 public:
  explicit CollectingSink(std::size_t fail_after = SIZE_MAX) : fail_after_(fail_after) {}
  bool Write(const std::uint8_t* data, std::size_t size) override {
    if (bytes.size() + size > fail_after_) return false;
    bytes.insert(bytes.end(), data, data + size);
    ++writes;
    return true;
  }
  Bytes bytes;
  int writes = 0;

 private:
  std::size_t fail_after_;
};

TEST(SzddExpander, LiteralsAndReferences) {
  // "hello hello hello world\n" as Debian's mscompress writes it.
  const Bytes packed = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33, 0x41, 0x00, 0x18, 0x00,
                        0x00, 0x00, 0xBF, 0x68, 0x65, 0x6C, 0x6C, 0x6F, 0x20, 0xF0, 0xF9, 0x77,
                        0x1F, 0x6F, 0x72, 0x6C, 0x64, 0x0A};
  Bytes out;
  uint32_t declared = 0;
  szdd::MemorySource source(packed.data(), packed.size());
  CollectingSink sink;
  ASSERT_EQ(szdd::Expand(source, sink, &declared), ExpandStatus::kOk);
  EXPECT_EQ(declared, 24u);
  EXPECT_EQ(sink.bytes, Text("hello hello hello world\n"));
}

TEST(SzddExpander, RingSemantics) {
  Bytes out;
  // The ring starts as spaces everywhere, also in the slots ahead of the
  // write position (4080..4095) and behind it (0..4079).
  ASSERT_EQ(ExpandBytes(Stream(9).Literal('x').Reference(4090, 4).Reference(0, 4).bytes(), out),
            ExpandStatus::kOk);
  EXPECT_EQ(out, Text("x        "));

  // A reference that starts in the spaces and runs into bytes it writes
  // itself: slot 4078 is two spaces back, then "ab" just written.
  ASSERT_EQ(ExpandBytes(Stream(8).Literals("ab").Reference(4078, 6).bytes(), out), ExpandStatus::kOk);
  EXPECT_EQ(out, Text("ab  ab  "));

  // Overlapping copy: a run from one byte (distance 1, length 18).
  ASSERT_EQ(ExpandBytes(Stream(19).Literal('z').Reference(4080, 18).bytes(), out), ExpandStatus::kOk);
  EXPECT_EQ(out, Bytes(19, 'z'));

  // The slot at the write position is the oldest byte, 4096 back: after
  // 4096 bytes 'a'..'p' repeating, slot 4080 is where the first 'a' was.
  Stream s(4096 + 3);
  for (int i = 0; i < 4096; ++i) s.Literal(static_cast<std::uint8_t>('a' + i % 16));
  ASSERT_EQ(ExpandBytes(s.Reference(4080, 3).bytes(), out), ExpandStatus::kOk);
  EXPECT_EQ(Bytes(out.end() - 3, out.end()), Text("abc"));
}

TEST(SzddExpander, LongOutputsAcrossBufferEdgesAndReadSizes) {
  // Far more than one output block, with references at every distance
  // class (short overlapping, medium, 4095 back) and long literal runs.
  Bytes expected;
  Stream s(0);
  for (int round = 0; round < 9000; ++round) {
    const int kind = round % 5;
    if (kind == 0 || expected.size() < 4096) {
      for (int i = 0; i < 7; ++i) {
        const auto b = static_cast<std::uint8_t>(round * 31 + i * 7);
        s.Literal(b);
        expected.push_back(b);
      }
      continue;
    }
    const unsigned distance = kind == 1 ? 1 + round % 17 : kind == 2 ? 100 + round % 900 : 4095;
    const unsigned length = 3 + round % 16;
    const unsigned position = (4080 + expected.size() - distance) & 4095;
    s.Reference(position, length);
    for (unsigned i = 0; i < length; ++i) expected.push_back(expected[expected.size() - distance]);
  }
  Bytes packed = s.bytes();
  const auto n = static_cast<std::uint32_t>(expected.size());
  for (int i = 0; i < 4; ++i) packed[10 + i] = static_cast<std::uint8_t>(n >> (8 * i));

  for (std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, std::size_t{1} << 20}) {
    ChunkedSource source(packed, chunk);
    CollectingSink sink;
    ASSERT_EQ(szdd::Expand(source, sink), ExpandStatus::kOk) << "chunk " << chunk;
    ASSERT_EQ(sink.bytes, expected) << "chunk " << chunk;
  }
}

TEST(SzddExpander, ZeroLengthWritesNothing) {
  const Bytes packed = Header(0);
  szdd::MemorySource source(packed.data(), packed.size());
  CollectingSink sink;
  EXPECT_EQ(szdd::Expand(source, sink), ExpandStatus::kOk);
  EXPECT_TRUE(sink.bytes.empty());
}

TEST(SzddExpander, DataAfterTheDeclaredLengthIsIgnored) {
  Bytes out;
  // The length ends inside a flag group; the rest of the group and further
  // bytes are never looked at, even a reference that would go too far.
  Bytes packed = Stream(3).Literals("abc").Reference(4080, 18).Raw(0x00).Raw(0xFF).bytes();
  ASSERT_EQ(ExpandBytes(packed, out), ExpandStatus::kOk);
  EXPECT_EQ(out, Text("abc"));
}

TEST(SzddExpander, MalformedHeaders) {
  Bytes out;
  const Bytes good = Stream(3).Literals("abc").bytes();
  ASSERT_EQ(ExpandBytes(good, out), ExpandStatus::kOk);

  for (std::size_t i = 0; i < 9; ++i) {
    Bytes bad = good;
    bad[i] ^= 0x01;  // signature bytes 0..7, mode byte 8
    EXPECT_EQ(ExpandBytes(bad, out), ExpandStatus::kBadHeader) << "byte " << i;
  }
  Bytes mode_b = good;
  mode_b[8] = 'B';
  EXPECT_EQ(ExpandBytes(mode_b, out), ExpandStatus::kBadHeader);

  // The left-out name character does not matter.
  Bytes named = good;
  named[9] = 'L';
  EXPECT_EQ(ExpandBytes(named, out), ExpandStatus::kOk);

  EXPECT_EQ(ExpandBytes(Bytes{}, out), ExpandStatus::kTruncated);
  EXPECT_EQ(ExpandBytes(Bytes(good.begin(), good.begin() + 12), out), ExpandStatus::kTruncated);
  EXPECT_EQ(ExpandBytes(Text("MZ\x90"), out), ExpandStatus::kBadHeader);
  EXPECT_EQ(ExpandBytes(Text("plain text that is no SZDD file at all"), out), ExpandStatus::kBadHeader);
}

TEST(SzddExpander, EveryTruncationOfAFileFails) {
  const Bytes plain = szdd_test::TextLike(600, 3);
  // Literals and references, built item by item to stay independent of the
  // packer.
  Stream s(static_cast<std::uint32_t>(plain.size()));
  for (std::size_t i = 0; i < plain.size();) {
    if (i >= 40 && i % 3 == 0 && i + 10 <= plain.size()) {
      s.Reference((4080 + i - 40) & 4095, 10);
      i += 10;
    } else {
      s.Literal(plain[i]);
      ++i;
    }
  }
  const Bytes packed = s.bytes();
  Bytes full;
  ASSERT_EQ(ExpandBytes(packed, full), ExpandStatus::kOk);
  ASSERT_EQ(full.size(), plain.size());
  for (std::size_t cut = 0; cut < packed.size(); ++cut) {
    Bytes out;
    const ExpandStatus status = ExpandBytes(Bytes(packed.begin(), packed.begin() + cut), out);
    EXPECT_EQ(status, ExpandStatus::kTruncated) << "cut at " << cut;
    EXPECT_LT(out.size(), plain.size());
  }
}

TEST(SzddExpander, DeclaredLengthLargerThanTheData) {
  Bytes out;
  EXPECT_EQ(ExpandBytes(Stream(4).Literals("abc").bytes(), out), ExpandStatus::kTruncated);
  EXPECT_EQ(ExpandBytes(Stream(0xFFFFFFFFu).Literals("abc").Reference(4080, 18).bytes(), out),
            ExpandStatus::kTruncated);

  // 16 MiB + 5 over five bytes: read without the length's top byte it would
  // be a complete 5-byte file.
  const Bytes big = Stream(0x01000005u).Literals("abcde").bytes();
  szdd::MemorySource source(big.data(), big.size());
  CollectingSink sink;
  std::uint32_t declared = 0;
  EXPECT_EQ(szdd::Expand(source, sink, &declared), ExpandStatus::kTruncated);
  EXPECT_EQ(declared, 0x01000005u);
}

TEST(SzddExpander, ReferencePastTheDeclaredLength) {
  Bytes out;
  EXPECT_EQ(ExpandBytes(Stream(5).Literals("abc").Reference(4080, 3).bytes(), out),
            ExpandStatus::kOverrun);
  // The same near the end of a long file, where the fast path runs up to
  // the last few groups.
  Stream s(300 + 4);
  for (int i = 0; i < 300; ++i) s.Literal(static_cast<std::uint8_t>(i));
  EXPECT_EQ(ExpandBytes(s.Reference(4080, 18).bytes(), out), ExpandStatus::kOverrun);
}

TEST(SzddExpander, FailingSinkAndSource) {
  Stream s(200000);
  s.Literal('q');
  for (int i = 0; i < 199999 / 18; ++i) s.Reference(4080, 18);
  for (int i = 0; i < 199999 % 18; ++i) s.Literal('q');
  const Bytes packed = s.bytes();

  for (std::size_t fail_after : {std::size_t{0}, std::size_t{70000}, std::size_t{199999}}) {
    szdd::MemorySource source(packed.data(), packed.size());
    CollectingSink sink(fail_after);
    EXPECT_EQ(szdd::Expand(source, sink), ExpandStatus::kWriteFailed) << fail_after;
  }
  {
    szdd::MemorySource source(packed.data(), packed.size());
    CollectingSink sink;
    ASSERT_EQ(szdd::Expand(source, sink), ExpandStatus::kOk);
    EXPECT_EQ(sink.bytes, Bytes(200000, 'q'));
  }
  for (std::size_t fail_after : {std::size_t{0}, std::size_t{5}, std::size_t{14}, std::size_t{1000}}) {
    FailingSource source(packed, fail_after);
    CollectingSink sink;
    EXPECT_EQ(szdd::Expand(source, sink), ExpandStatus::kReadFailed) << fail_after;
  }
}

// Copies at most what it is asked for but reports `excess` bytes more: a
// broken source, whose count cannot be trusted.
class OverclaimingSource : public szdd::ByteSource {
 public:
  OverclaimingSource(const Bytes& data, std::size_t excess) : data_(data), excess_(excess) {}
  std::ptrdiff_t Read(std::uint8_t* buffer, std::size_t capacity) override {
    const std::size_t n = std::min(capacity, data_.size() - offset_);
    std::memcpy(buffer, data_.data() + offset_, n);
    offset_ += n;
    return static_cast<std::ptrdiff_t>(capacity + excess_);
  }

 private:
  const Bytes& data_;
  std::size_t excess_;
  std::size_t offset_ = 0;
};

TEST(SzddExpander, SourceReportingMoreThanItWasAskedForIsAReadFailure) {
  // The file is complete in what was copied, so only the count can fail it.
  const Bytes packed = Stream(3).Literals("abc").bytes();
  OverclaimingSource source(packed, 1);
  CollectingSink sink;
  EXPECT_EQ(szdd::Expand(source, sink), ExpandStatus::kReadFailed);
}

TEST(SzddExpander, GarbageAfterAValidHeaderNeverCrashes) {
  // Random item streams: whatever the outcome, the output never exceeds the
  // declared length and a success produces it exactly.
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    const std::uint32_t length = seed * 37 % 5000;
    Bytes packed = Header(length);
    const Bytes noise = szdd_test::RandomBytes(seed * 13 % 3000, seed);
    packed.insert(packed.end(), noise.begin(), noise.end());
    Bytes out;
    const ExpandStatus status = ExpandBytes(packed, out);
    EXPECT_LE(out.size(), length);
    if (status == ExpandStatus::kOk) {
      EXPECT_EQ(out.size(), length);
    }
  }
}

TEST(SzddExpander, ExpandsFilesMadeByMscompress) {
  if (!szdd_test::HaveProgram("mscompress")) GTEST_SKIP() << "mscompress is not installed";
  szdd_test::TempDir dir;
  const std::vector<Bytes> samples = {
      // mscompress writes wrong data for files of 1 to 15 bytes, so none here.
      Bytes{},
      Bytes(16, 'a'),
      Bytes(17, ' '),
      Bytes(100000, 0),
      Text("      leading spaces, then text, then       more spaces      "),
      szdd_test::TextLike(70000, 1),
      szdd_test::ProgramLike(150000, 2),
      szdd_test::RandomBytes(5000, 3),
  };
  for (std::size_t i = 0; i < samples.size(); ++i) {
    Bytes packed;
    ASSERT_TRUE(szdd_test::MsCompress(dir, samples[i], packed)) << "sample " << i;
    Bytes out;
    ASSERT_EQ(ExpandBytes(packed, out), ExpandStatus::kOk) << "sample " << i;
    EXPECT_EQ(out, samples[i]) << "sample " << i;
  }
}

}  // namespace
