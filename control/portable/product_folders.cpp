#include "control/portable/product_folders.h"

namespace {

wchar_t FoldAsciiCase(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

}  // namespace

const std::wstring& ShutdownFolders::Of(ProgramFolder folder) const {
  switch (folder) {
    case ProgramFolder::kProduct:
      return product;
    case ProgramFolder::kMediaSharing:
      return mediaSharing;
    case ProgramFolder::kHomeNetwork:
      return homeNetwork;
    case ProgramFolder::kSharedComponents:
      break;
  }
  return sharedComponents;
}

ShutdownFolders BuildShutdownFolders(bool found, const std::wstring& programFiles) {
  ShutdownFolders folders;
  if (!found) return folders;
  folders.programFiles = programFiles;
  folders.sharedComponents = programFiles + L"\\Common Files\\Orvane Shared\\QVLLib\\";
  folders.product = programFiles + L"\\Orvane\\Mirevo\\";
  folders.mediaSharing = programFiles + L"\\Orvane\\Castwell\\";
  folders.homeNetwork = programFiles + L"\\Orvane\\Homereel\\";
  return folders;
}

bool SameFilePath(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
  }
  return true;
}

bool IsProductImage(const std::wstring& imagePath, const ShutdownFolders& folders) {
  const size_t slash = imagePath.rfind(L'\\');
  if (slash == std::wstring::npos || slash + 1 == imagePath.size()) return false;
  // The folder with its backslash, as the folder strings are written.
  const std::wstring folder = imagePath.substr(0, slash + 1);
  for (const std::wstring* own :
       {&folders.product, &folders.mediaSharing, &folders.homeNetwork, &folders.sharedComponents}) {
    if (!own->empty() && SameFilePath(folder, *own)) return true;
  }
  return false;
}
