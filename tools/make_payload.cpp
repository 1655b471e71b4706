// make_payload: writes stand-in files for the 161 rows of the patch file
// table, one file per row named by its resource id ("401.bin" .. "561.bin").
//
//   make_payload OUT                 the new files that the update installs:
//                                    PE32 images (.dll, .ax, .exe) whose
//                                    version lies above the row's window,
//                                    help files (.chm) and the .xml file, in
//                                    the sizes the packed resources expand to
//                                    (96,349,669 bytes, largest 15,603,832)
//   make_payload --installed OUT [--version-choice low|max|above|none]
//                                    small older files of the same kinds for
//                                    a simulated PC, whose version is:
//                                      low   inside the window, below its
//                                            maximum where the window allows
//                                            (default)
//                                      max   the window's maximum
//                                      above one revision above the window
//                                      none  no version resource
//
//   make_payload --table             prints where each row's file lives, one
//                                    line per row: id, "app" or "shared"
//                                    (the base folder), the sub-folder ("" or
//                                    "\\ENG"...) and the file name, tab-separated
//
// OUT is created when missing. The output is the same on every machine. A
// file whose content is already there is left untouched (its time stamp
// too), so that the build repacks only what changed. Exit code 0 on success,
// 1 when a file cannot be written, 2 on a usage error.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "payload/portable/folder_table.h"
#include "payload/portable/patch_file_table.h"
#include "tools/payload_generator.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: make_payload OUT\n"
               "       make_payload --installed OUT [--version-choice low|max|above|none]\n"
               "       make_payload --table\n");
  return 2;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }  // ASCII names

int PrintTable() {
  for (const PatchFileEntry& row : PatchFileTable()) {
    const FolderEntry& folder = FolderTable().at(static_cast<size_t>(row.folderCode));
    std::printf("%d\t%s\t%s\t%s\n", row.resourceId, row.folderCode < kFirstSharedFolderCode ? "app" : "shared",
                Narrow(folder.subFolder).c_str(), Narrow(row.fileName).c_str());
  }
  return 0;
}

bool SameContent(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::error_code error;
  if (std::filesystem::file_size(path, error) != bytes.size() || error) return false;
  std::FILE* f = std::fopen(path.string().c_str(), "rb");
  if (f == nullptr) return false;
  std::vector<std::uint8_t> old(bytes.size());
  const bool same = std::fread(old.data(), 1, old.size(), f) == old.size() && old == bytes;
  std::fclose(f);
  return same;
}

bool WriteIfChanged(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  if (SameContent(path, bytes)) return true;
  const std::string name = path.string();
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "make_payload: cannot create %s: %s\n", name.c_str(), std::strerror(errno));
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !written) {
    std::fprintf(stderr, "make_payload: cannot write %s\n", name.c_str());
    std::remove(name.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using payload_gen::InstalledVersion;
  bool installed = false;
  InstalledVersion choice = InstalledVersion::kLow;
  std::string out;
  if (argc == 2 && std::string(argv[1]) == "--table") return PrintTable();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--installed") {
      installed = true;
    } else if (arg == "--version-choice" && i + 1 < argc) {
      const std::string value = argv[++i];
      if (value == "low") {
        choice = InstalledVersion::kLow;
      } else if (value == "max") {
        choice = InstalledVersion::kMax;
      } else if (value == "above") {
        choice = InstalledVersion::kAbove;
      } else if (value == "none") {
        choice = InstalledVersion::kNone;
      } else {
        return Usage();
      }
    } else if (!arg.empty() && arg[0] != '-' && out.empty()) {
      out = arg;
    } else {
      return Usage();
    }
  }
  if (out.empty()) return Usage();

  std::error_code error;
  std::filesystem::create_directories(out, error);
  if (error) {
    std::fprintf(stderr, "make_payload: cannot create %s: %s\n", out.c_str(), error.message().c_str());
    return 1;
  }
  const auto& table = PatchFileTable();
  for (size_t i = 0; i < table.size(); ++i) {
    const std::vector<std::uint8_t> bytes =
        installed ? payload_gen::MakeInstalledFile(i, choice) : payload_gen::MakeNewFile(i);
    if (!WriteIfChanged(std::filesystem::path(out) / payload_gen::OutputName(table[i]), bytes)) return 1;
  }
  return 0;
}
