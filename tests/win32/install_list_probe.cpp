// Prints the rows that the updater would install on this PC, one line per
// row: resource id, a tab, the full destination path (UTF-8). Exit code 0, or
// 1 when nothing applies. Lets scenarios check that files a simulated PC puts
// in place of the installed ones are selected as those would be.
#include <windows.h>

#include <cstdio>
#include <string>

#include "payload/install_list.h"

int main() {
  InstallList list;
  if (BuildInstallList(list) < 0) return 1;
  for (const PatchFileEntry& row : list) {
    const std::wstring& path = row.fileName;
    const int size = WideCharToMultiByte(CP_UTF8, 0, path.c_str(), static_cast<int>(path.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path.c_str(), static_cast<int>(path.size()), &utf8[0], size, nullptr,
                        nullptr);
    std::printf("%d\t%s\n", static_cast<int>(row.resourceId), utf8.c_str());
  }
  return 0;
}
