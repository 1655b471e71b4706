// Programs timed by szdd_bench.sh, each file to file:
//   expand IN OUT   our SZDD expander (64 KiB buffers through C stdio)
//   mspack IN OUT   libmspack's SZDD decompressor
//   copy IN OUT     read and write with 64 KiB buffers: the floor for any expander
//   MODE --list L   the same for every "IN|OUT" line of the file L, in one process
//   inmem IN        our expander from memory to a sink that drops the bytes:
//                   prints the expansion speed without any file I/O
#ifndef SZDD_BENCH_NO_MSPACK
#include <mspack.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "payload/portable/szdd_stdio.h"

namespace {

// Opens the input and the output, both unbuffered: the programs timed read and
// write in blocks of their own, and stdio's buffers would only add a copy.
// On failure neither stays open.
bool OpenPair(const char* in_path, const char* out_path, std::FILE*& in, std::FILE*& out) {
  in = std::fopen(in_path, "rb");
  out = std::fopen(out_path, "wb");
  if (in == nullptr || out == nullptr) {
    if (in != nullptr) std::fclose(in);
    if (out != nullptr) std::fclose(out);
    return false;
  }
  std::setvbuf(in, nullptr, _IONBF, 0);
  std::setvbuf(out, nullptr, _IONBF, 0);
  return true;
}

int ExpandOurs(const char* in_path, const char* out_path) {
  std::FILE* in;
  std::FILE* out;
  if (!OpenPair(in_path, out_path, in, out)) return 1;
  szdd::FileSource source(in);
  szdd::FileSink sink(out);
  const szdd::ExpandStatus status = szdd::Expand(source, sink);
  std::fclose(in);
  if (std::fclose(out) != 0 || status != szdd::ExpandStatus::kOk) {
    std::fprintf(stderr, "expand: %s\n", szdd::Describe(status));
    return 1;
  }
  return 0;
}

int ExpandMspack(const char* in_path, const char* out_path) {
#ifdef SZDD_BENCH_NO_MSPACK
  (void)in_path;
  (void)out_path;
  std::fprintf(stderr, "built without libmspack\n");
  return 1;
#else
  msszdd_decompressor* d = mspack_create_szdd_decompressor(nullptr);
  if (d == nullptr) return 1;
  const int err = d->decompress(d, const_cast<char*>(in_path), const_cast<char*>(out_path));
  mspack_destroy_szdd_decompressor(d);
  return err == MSPACK_ERR_OK ? 0 : 1;
#endif
}

int Copy(const char* in_path, const char* out_path) {
  std::FILE* in;
  std::FILE* out;
  if (!OpenPair(in_path, out_path, in, out)) return 1;
  static unsigned char buffer[1 << 16];
  std::size_t got;
  bool written = true;
  while (written && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    written = std::fwrite(buffer, 1, got, out) == got;
  }
  std::fclose(in);
  return std::fclose(out) == 0 && written ? 0 : 1;
}

class DropSink : public szdd::ByteSink {
 public:
  bool Write(const std::uint8_t*, std::size_t size) override {
    total += size;
    return true;
  }
  std::size_t total = 0;
};

int ExpandInMemory(const char* in_path) {
  std::FILE* in = std::fopen(in_path, "rb");
  if (in == nullptr) return 1;
  std::vector<std::uint8_t> packed;
  std::uint8_t buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) packed.insert(packed.end(), buffer, buffer + got);
  std::fclose(in);
  std::vector<double> rates;
  for (int run = 0; run < 5; ++run) {
    szdd::MemorySource source(packed.data(), packed.size());
    DropSink sink;
    const auto start = std::chrono::steady_clock::now();
    if (szdd::Expand(source, sink) != szdd::ExpandStatus::kOk) return 1;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    rates.push_back(sink.total / 1e6 / took.count());
  }
  std::sort(rates.begin(), rates.end());
  std::printf("%.0f\n", rates[2]);
  return 0;
}

using FileToFile = int (*)(const char*, const char*);

FileToFile ModeFunction(const char* mode) {
  if (std::strcmp(mode, "expand") == 0) return ExpandOurs;
  if (std::strcmp(mode, "mspack") == 0) return ExpandMspack;
  if (std::strcmp(mode, "copy") == 0) return Copy;
  return nullptr;
}

// Every "IN|OUT" line of the list file, in one process.
int RunList(FileToFile run, const char* list_path) {
  std::FILE* list = std::fopen(list_path, "r");
  if (list == nullptr) return 1;
  char line[4096];
  int failures = 0;
  while (std::fgets(line, sizeof line, list) != nullptr) {
    line[std::strcspn(line, "\r\n")] = '\0';
    char* bar = std::strchr(line, '|');
    if (bar == nullptr) continue;
    *bar = '\0';
    failures += run(line, bar + 1) != 0;
  }
  std::fclose(list);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const FileToFile run = argc >= 2 ? ModeFunction(argv[1]) : nullptr;
  if (run != nullptr && argc == 4 && std::strcmp(argv[2], "--list") == 0) return RunList(run, argv[3]);
  if (run != nullptr && argc == 4) return run(argv[2], argv[3]);
  if (argc == 3 && std::strcmp(argv[1], "inmem") == 0) return ExpandInMemory(argv[2]);
  std::fprintf(stderr, "usage: szdd_bench_tool expand|mspack|copy (IN OUT | --list LIST) | inmem IN\n");
  return 2;
}
