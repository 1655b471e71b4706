// make_registry_scripts OUT: writes the two registry scripts of the REG
// resources, OUT/301.reg (32-bit Windows) and OUT/302.reg (64-bit Windows).
//
// OUT is created when missing. A script whose content is already there is left
// untouched (its time stamp too), so that the build repacks only what changed.
// Exit code 0 on success, 1 when a script cannot be made or written, 2 on a
// usage error.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/registry_script_generator.h"

namespace {

bool WriteIfChanged(const std::filesystem::path& path, const std::string& text) {
  {
    std::ifstream old(path, std::ios::binary);
    if (old && std::string(std::istreambuf_iterator<char>(old), {}) == text) return true;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "make_registry_scripts: cannot write %s\n", path.string().c_str());
    std::filesystem::remove(path);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_registry_scripts OUT\n");
    return 2;
  }
  using regscript::ScriptPlatform;
  const std::filesystem::path out = argv[1];
  try {
    std::filesystem::create_directories(out);
    for (const auto& [id, platform] : {std::pair{regscript::kScriptId32, ScriptPlatform::k32Bit},
                                       std::pair{regscript::kScriptId64, ScriptPlatform::k64Bit}}) {
      if (!WriteIfChanged(out / (std::to_string(id) + ".reg"), regscript::MakeRegistryScript(platform))) return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_registry_scripts: %s\n", e.what());
    return 1;
  }
  return 0;
}
