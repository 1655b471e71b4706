// What identifies an installed file, read through a handle that does not
// follow a link: the update records it before it moves the file, and the
// next run recognises the file by it.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "base/portable/journal_record.h"

// The file at `path` (exists false when there is nothing there or it cannot be read).
FileFacts FactsOfFile(const std::wstring& path);
// The same of an open file or folder.
FileFacts FactsOfHandle(HANDLE file);
// The same of many files, read from one listing of each folder they are in:
// opening each of an installation's files costs more than all the rest of
// its planning. An entry the listing cannot vouch for (a link, a folder, a
// name it does not list as given) is read through its own handle, as above,
// so that every identity is the one FactsOfFile reads later.
std::vector<FileFacts> FactsOfFiles(const std::vector<std::wstring>& paths);
