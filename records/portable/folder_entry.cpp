#include "records/portable/folder_entry.h"

namespace {

constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeReparsePoint = 0x400;

}  // namespace

FolderEntryAction ClassifyFolderEntry(std::wstring_view name, uint32_t attributes) {
  if (name == L"." || name == L"..") return FolderEntryAction::kSkip;
  if ((attributes & kAttributeDirectory) == 0) return FolderEntryAction::kDeleteFile;
  // Walking into a link would delete what it points to, outside the tree.
  if ((attributes & kAttributeReparsePoint) != 0) return FolderEntryAction::kRemoveLink;
  return FolderEntryAction::kRemoveTree;
}
