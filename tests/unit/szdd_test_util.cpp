#include "tests/unit/szdd_test_util.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

namespace szdd_test {

namespace {

class VectorSink : public szdd::ByteSink {
 public:
  explicit VectorSink(Bytes& out) : out_(out) {}
  bool Write(const std::uint8_t* data, std::size_t size) override {
    out_.insert(out_.end(), data, data + size);
    return true;
  }

 private:
  Bytes& out_;
};

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "szdd_test_XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) std::abort();
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

bool WriteFile(const std::string& path, const Bytes& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

bool ReadFile(const std::string& path, Bytes& data) {
  data.clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::uint8_t buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.insert(data.end(), buffer, buffer + got);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool HaveProgram(const char* name) {
  const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

bool MsCompress(const TempDir& dir, const Bytes& data, Bytes& packed) {
  const std::string in = dir.Path("plain.bin");
  std::remove((in + "_").c_str());
  if (!WriteFile(in, data)) return false;
  const std::string command = "mscompress '" + in + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0 && ReadFile(in + "_", packed);
}

bool MsExpand(const TempDir& dir, const Bytes& packed, Bytes& expanded) {
  const std::string in = dir.Path("packed.bin");
  const std::string out = dir.Path("expanded.bin");
  if (!WriteFile(in, packed)) return false;
  const std::string command = "msexpand < '" + in + "' > '" + out + "' 2>/dev/null";
  return std::system(command.c_str()) == 0 && ReadFile(out, expanded);
}

szdd::ExpandStatus ExpandBytes(const Bytes& packed, Bytes& expanded) {
  expanded.clear();
  szdd::MemorySource source(packed.data(), packed.size());
  VectorSink sink(expanded);
  return szdd::Expand(source, sink);
}

Bytes Repeat(const Bytes& unit, std::size_t size) {
  Bytes out;
  while (out.size() < size) out.insert(out.end(), unit.begin(), unit.end());
  out.resize(size);
  return out;
}

Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

Bytes TextLike(std::size_t size, std::uint32_t seed) {
  static const char* const kWords[] = {
      "the", "update", "file", "folder", "version", "media", "library", "service", "of",
      "and", "to", "is", "copied", "over", "installed", "program", "a", "when", "not",
      "registry", "script", "database", "window", "progress", "message"};
  std::mt19937 rng(seed);
  Bytes out;
  out.reserve(size + 16);
  while (out.size() < size) {
    const char* w = kWords[rng() % (sizeof kWords / sizeof kWords[0])];
    out.insert(out.end(), w, w + std::char_traits<char>::length(w));
    const unsigned r = rng() % 12;
    out.push_back(r == 0 ? '\n' : r == 1 ? ',' : ' ');
  }
  out.resize(size);
  return out;
}

Bytes ProgramLike(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  out.reserve(size + 64);
  Bytes stub = RandomBytes(24, seed ^ 0x5A5A);
  while (out.size() < size) {
    switch (rng() % 8) {
      case 0:  // a zero-filled table
        out.insert(out.end(), 8 + rng() % 120, 0);
        break;
      case 1:  // a repeated call stub
        out.insert(out.end(), stub.begin(), stub.begin() + 6 + rng() % 18);
        break;
      case 2: {  // random bytes
        Bytes r = RandomBytes(4 + rng() % 60, static_cast<std::uint32_t>(rng()));
        out.insert(out.end(), r.begin(), r.end());
        break;
      }
      case 3:  // copy of something recent, near or far
        if (out.size() > 64) {
          const std::size_t back = 1 + rng() % std::min<std::size_t>(out.size() - 1, 5000);
          const std::size_t len = 3 + rng() % 40;
          const std::size_t from = out.size() - back;
          for (std::size_t i = 0; i < len; ++i) out.push_back(out[from + i]);
        }
        break;
      default: {  // opcodes with small immediates
        static const std::uint8_t kOps[] = {0x8B, 0x89, 0x55, 0x5D, 0xC3, 0xE8, 0x83, 0xFF, 0x50, 0x6A};
        out.push_back(kOps[rng() % sizeof kOps]);
        out.push_back(static_cast<std::uint8_t>(rng() % 16));
        if (rng() % 2) out.push_back(static_cast<std::uint8_t>(rng()));
        break;
      }
    }
  }
  out.resize(size);
  return out;
}

Bytes Header(std::uint32_t length) {
  Bytes h(szdd::kSignature, szdd::kSignature + sizeof szdd::kSignature);
  h.push_back(szdd::kModeA);
  h.push_back(0);
  for (int shift = 0; shift < 32; shift += 8) h.push_back(static_cast<std::uint8_t>(length >> shift));
  return h;
}

}  // namespace szdd_test
