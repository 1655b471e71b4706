// szdd_pack IN OUT: compresses IN into the SZDD file OUT (compression mode "A").
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include "tools/szdd_packer.h"

namespace {

bool ReadAll(const char* path, std::vector<std::uint8_t>& data) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  std::uint8_t buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.insert(data.end(), buffer, buffer + got);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: szdd_pack IN OUT\n");
    return 2;
  }
  std::vector<std::uint8_t> data;
  if (!ReadAll(argv[1], data)) {
    std::fprintf(stderr, "szdd_pack: cannot read %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  std::vector<std::uint8_t> packed;
  try {
    packed = szdd::Pack(data.data(), data.size());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "szdd_pack: %s: %s\n", argv[1], e.what());
    return 1;
  }
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "szdd_pack: cannot create %s: %s\n", argv[2], std::strerror(errno));
    return 1;
  }
  const bool written = std::fwrite(packed.data(), 1, packed.size(), out) == packed.size();
  if (std::fclose(out) != 0 || !written) {
    std::fprintf(stderr, "szdd_pack: cannot write %s\n", argv[2]);
    std::remove(argv[2]);
    return 1;
  }
  return 0;
}
