// Stand-in payload files for the rows of the patch file table, written on the
// build machine: the new files that the update installs (packed into the
// PATCH resources) and older installed files for simulated PCs.
//
// Every byte follows from the row alone (own PRNG seeded per row and kind, no
// library distributions), so each machine writes the same files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "payload/portable/patch_file_entry.h"

namespace payload_gen {

// Sizes of the new files over the whole table.
constexpr std::uint32_t kLargestNewFile = 15603832;
constexpr std::uint64_t kTotalNewBytes = 96349669;

enum class FileKind { kLibrary, kFilter, kProgram, kHelp, kXml };

// Which version an installed file carries.
enum class InstalledVersion {
  kLow,    // inside the window, below its maximum when the window allows
  kMax,    // the window's maximum
  kAbove,  // one revision above the window
  kNone,   // no version resource
};

FileKind KindOf(const PatchFileEntry& row);
bool IsPortableExecutable(FileKind kind);

// Version of the new file: one revision above the row's window.
FileVersion16 NewVersion(const PatchFileEntry& row);
FileVersion16 InstalledVersionOf(const PatchFileEntry& row, InstalledVersion choice);

// Size of the new file of table row `index`; the sizes of all rows add up to
// kTotalNewBytes and the largest is kLargestNewFile.
std::uint32_t NewFileSize(std::size_t index);

// The new file of table row `index`.
std::vector<std::uint8_t> MakeNewFile(std::size_t index);
// The installed (older) file of table row `index` on a simulated PC.
std::vector<std::uint8_t> MakeInstalledFile(std::size_t index, InstalledVersion choice);

// Name of the output file of a row: its resource id and ".bin".
std::string OutputName(const PatchFileEntry& row);

}  // namespace payload_gen
