// inspect_update: what a release engineer checks in a built updater.exe
// before it ships, printed as plain lines that stay the same from run to run:
// the Authenticode signature and whether it holds for the file as it is, the
// version information and its languages, the languages of the message
// catalogue, the manifest's execution level, the imported DLLs, and every
// PATCH and REG resource expanded with the updater's own expander and
// compared with its row of the DIGEST table. The last line is a summary.
//
//   inspect_update [--require-signature] PATH/TO/updater.exe
//
// The signature line is one of
//   signature: none
//   signature: signer="<subject>" issuer="<issuer>" digest=<alg> valid (chain not checked)
//   signature: [signer="..." issuer="..." digest=<alg>] INVALID (<reason>)
// "valid": the image hash recomputed over the file equals the signed one and
// the PKCS#7 signature verifies with the signer's key. Whether the signer's
// certificate chains to a trusted root is left to osslsigncode verify or to
// Windows.
//
// Exit status: 0 when everything verifies; 1 when anything does not (a
// mismatch, a failed expansion, a missing row or table, no payload, a damaged
// resource, an invalid signature, no signature with --require-signature); 2
// for a usage error or a file that cannot be read as a PE image.
#include <cstdio>
#include <exception>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "applicability/portable/byte_image.h"
#include "applicability/portable/pe_reader.h"
#include "applicability/portable/version_info.h"
#include "tools/authenticode.h"
#include "tools/execution_level.h"
#include "tools/file_image.h"
#include "tools/payload_check.h"

namespace {

// Version, string and manifest resources are small; a larger size means a
// damaged tree, and is refused rather than allocated.
constexpr std::uint32_t kMaxSmallResource = 1u << 20;
constexpr std::uint32_t kDigestTableId = 1;

const char* LanguageName(std::uint32_t lcid) {
  static const std::map<std::uint32_t, const char*> kNames = {
      {0, "Neutral"},           {1028, "Chinese (Taiwan)"},    {1031, "German"},
      {1033, "English (United States)"}, {1036, "French"},     {1040, "Italian"},
      {1041, "Japanese"},       {1042, "Korean"},              {1043, "Dutch"},
      {1045, "Polish"},         {1046, "Portuguese (Brazil)"}, {1049, "Russian"},
      {2052, "Chinese (PRC)"},  {3082, "Spanish"},
  };
  const auto found = kNames.find(lcid);
  return found == kNames.end() ? "" : found->second;
}

std::string Language(std::uint32_t lcid) {
  const std::string name = LanguageName(lcid);
  return std::to_string(lcid) + (name.empty() ? "" : " " + name);
}

class Inspection {
 public:
  Inspection(const pe::Image& image, std::vector<pe::Resource> resources)
      : image_(image), resources_(std::move(resources)) {}

  void Problem(const std::string& text) {
    std::cout << "problem: " << text << "\n";
    ++problems_;
  }

  std::vector<pe::Resource> OfType(const pe::ResourceName& type) const {
    std::vector<pe::Resource> found;
    for (const pe::Resource& resource : resources_)
      if (resource.type.isNumber == type.isNumber && resource.type.number == type.number &&
          resource.type.text == type.text)
        found.push_back(resource);
    return found;
  }

  bool LoadSmall(const pe::Resource& resource, std::vector<std::uint8_t>& data, const std::string& what) {
    if (resource.size > kMaxSmallResource) {
      Problem(what + " has " + std::to_string(resource.size) + " bytes, more than a resource of its kind can have");
      return false;
    }
    try {
      data = image_.Bytes(resource.fileOffset, resource.size);
    } catch (const pe::FormatError& e) {
      Problem(what + ": " + e.what());
      return false;
    }
    return true;
  }

  void Signature(bool required) {
    const std::vector<authenticode::Signature> found = authenticode::CheckSignatures(image_);
    if (found.empty()) {
      std::cout << "signature: none\n";
      if (required) Problem("the program is not signed");
      return;
    }
    for (const authenticode::Signature& signature : found) {
      std::cout << "signature:";
      if (!signature.signer.empty())
        std::cout << " signer=\"" << signature.signer << "\" issuer=\"" << signature.issuer << "\"";
      if (!signature.digest.empty()) std::cout << " digest=" << signature.digest;
      if (signature.valid) {
        std::cout << " valid (chain not checked)\n";
      } else {
        std::cout << " INVALID (" << signature.reason << ")\n";
        ++problems_;
      }
    }
  }

  void Version() {
    const auto found = OfType(Number(pe::kRtVersion));
    if (found.empty()) return Problem("no version information");
    if (found.size() > 1) Problem(std::to_string(found.size()) + " version resources");
    std::vector<std::uint8_t> data;
    if (!LoadSmall(found.front(), data, "the version resource")) return;
    VersionInfo info;
    std::string error;
    if (!ParseVersionInfo(data, info, error)) return Problem("the version resource is malformed: " + error);
    std::cout << "file-version: " << VersionText(info.fileVersion) << "\n";
    std::cout << "product-version: " << VersionText(info.productVersion) << "\n";
    if (info.translations.empty()) Problem("the version information has no translation table");
    for (const Translation& t : info.translations)
      std::cout << "version-language: " << Language(t.language) << " (code page " << t.codePage << ")\n";
  }

  void StringLanguages() {
    std::set<std::uint32_t> languages;
    for (const pe::Resource& resource : OfType(Number(pe::kRtString))) languages.insert(resource.language);
    if (languages.empty()) Problem("no string tables");
    for (std::uint32_t lcid : languages) std::cout << "string-language: " << Language(lcid) << "\n";
  }

  void Manifest() {
    const auto found = OfType(Number(pe::kRtManifest));
    if (found.size() != 1) return Problem(std::to_string(found.size()) + " manifests, not one");
    std::vector<std::uint8_t> data;
    if (!LoadSmall(found.front(), data, "the manifest")) return;
    const auto levels = FindExecutionLevels(std::string(data.begin(), data.end()));
    if (levels.size() != 1)
      return Problem("the manifest has " + std::to_string(levels.size()) + " requestedExecutionLevel elements, not one");
    std::cout << "manifest: requestedExecutionLevel level=" << Shown(levels.front().level)
              << " uiAccess=" << Shown(levels.front().uiAccess) << "\n";
  }

  void Imports() {
    try {
      for (const std::string& dll : pe::ReadImportedDlls(image_)) std::cout << "import: " << dll << "\n";
    } catch (const pe::FormatError& e) {
      Problem(std::string("the import directory is malformed: ") + e.what());
    }
  }

  void DigestTable() {
    std::vector<pe::Resource> found;
    for (const pe::Resource& resource : OfType(Text("DIGEST")))
      if (resource.name.Is(kDigestTableId)) found.push_back(resource);
    const std::string resource = "resource DIGEST " + std::to_string(kDigestTableId);
    if (found.empty()) return Problem("no digest table (" + resource + ")");
    if (found.size() > 1) return Problem(std::to_string(found.size()) + " digest tables (" + resource + " in several languages)");
    std::vector<std::uint8_t> data;
    if (!LoadSmall(found.front(), data, "the digest table")) return;
    if (!ParseDigestTable(data.data(), data.size(), digests_))
      return Problem("the digest table is malformed (" + std::to_string(data.size()) + " bytes)");
    haveTable_ = true;
    std::cout << "digest-table: " << digests_.size() << " rows\n";
  }

  // Expands and verifies every resource of one type; returns how many verify.
  int Payload(const std::string& type, bool registryScript) {
    const auto found = OfType(Text(type));
    if (found.empty()) Problem("no " + type + " resources");
    int verified = 0;
    for (const pe::Resource& resource : found) {
      ImageRangeSource source(image_.Raw(), resource.fileOffset, resource.size);
      Expansion expansion;
      if (!ExpandAndHash(source, expansion)) throw std::runtime_error("libcrypto cannot compute SHA-256");
      const PayloadDigest* row = resource.name.isNumber ? FindDigest(digests_, resource.name.number) : nullptr;
      if (row != nullptr) used_.insert(row->resourceId);
      const Verdict verdict = Judge(expansion, row, haveTable_);
      const bool expanded = expansion.status == szdd::ExpandStatus::kOk;
      std::cout << type << " " << resource.name.ToString() << " lang=" << resource.language
                << " packed=" << resource.size << " expanded=" << Count(expanded, expansion.expandedSize);
      if (registryScript)
        std::cout << " lines=" << Count(expanded, expansion.lines) << " keys=" << Count(expanded, expansion.keys);
      std::cout << " sha256=" << (expanded ? HexDigest(expansion.sha256) : "-") << " "
                << VerdictText(verdict, expansion, row) << "\n";
      if (verdict == Verdict::kOk) {
        ++verified;
      } else {
        ++problems_;
      }
    }
    return verified;
  }

  void OrphanRows() {
    for (const PayloadDigest& row : digests_) {
      if (used_.count(row.resourceId)) continue;
      std::cout << "DIGEST-ROW " << row.resourceId << " expanded=" << row.expandedSize
                << " sha256=" << HexDigest(row.sha256) << " ORPHAN (no PATCH or REG resource)\n";
      ++problems_;
    }
  }

  int Problems() const { return problems_; }

 private:
  static pe::ResourceName Number(std::uint32_t value) { return {true, value, ""}; }
  static pe::ResourceName Text(const std::string& value) { return {false, 0, value}; }
  static std::string Shown(const std::string& value) { return value.empty() ? "(missing)" : value; }
  static std::string Count(bool known, std::uint64_t value) { return known ? std::to_string(value) : "-"; }

  const pe::Image& image_;
  std::vector<pe::Resource> resources_;
  std::vector<PayloadDigest> digests_;
  bool haveTable_ = false;
  std::set<std::uint32_t> used_;
  int problems_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  bool requireSignature = false;
  std::string path;
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    if (arg == "--require-signature") {
      requireSignature = true;
    } else if (path.empty() && !arg.empty() && arg[0] != '-') {
      path = arg;
    } else {
      path.clear();
      break;
    }
  }
  if (path.empty()) {
    std::fprintf(stderr, "usage: inspect_update [--require-signature] PATH/TO/updater.exe\n");
    return 2;
  }
  FileImage file;
  if (!file.Open(path)) {
    std::fprintf(stderr, "inspect_update: %s cannot be opened.\n", path.c_str());
    return 2;
  }
  try {
    const pe::Image image(file);
    std::cout << "file: " << path << " (" << file.Size() << " bytes, PE" << (image.Is64Bit() ? "32+" : "32")
              << " machine 0x" << std::hex << image.Machine() << std::dec << ")\n";
    std::vector<pe::Resource> resources;
    bool treeOk = true;
    try {
      resources = pe::ReadResources(image);
    } catch (const pe::FormatError& e) {
      std::cout << "problem: the resource tree is malformed: " << e.what() << "\n";
      treeOk = false;
    }
    Inspection inspection(image, std::move(resources));
    inspection.Signature(requireSignature);
    inspection.Version();
    inspection.StringLanguages();
    inspection.Manifest();
    inspection.Imports();
    inspection.DigestTable();
    const int patches = inspection.Payload("PATCH", false);
    const int scripts = inspection.Payload("REG", true);
    inspection.OrphanRows();
    const int problems = inspection.Problems() + (treeOk ? 0 : 1);
    std::cout << "summary: " << patches << " PATCH verified, " << scripts << " REG verified, " << problems
              << " problems\n";
    std::cout.flush();
    return problems == 0 && std::cout ? 0 : 1;
  } catch (const pe::FormatError& e) {
    std::fprintf(stderr, "inspect_update: %s is not a PE image: %s.\n", path.c_str(), e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "inspect_update: %s\n", e.what());
    return 1;
  }
}
