// What identifies an installed file, read through a handle that does not
// follow a link: the update records it before it moves the file, and the
// next run recognises the file by it.
#pragma once
#include <windows.h>

#include <string>

#include "base/portable/journal_record.h"

// The file at `path` (exists false when there is nothing there or it cannot be read).
FileFacts FactsOfFile(const std::wstring& path);
// The same of an open file or folder.
FileFacts FactsOfHandle(HANDLE file);
