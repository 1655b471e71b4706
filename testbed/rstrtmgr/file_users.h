// The processes that have a file loaded: its image or one of its modules.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct FileUser {
    DWORD processId = 0;
    FILETIME startTime{};      // zero when the process cannot be opened
    std::wstring exeName;      // as in the process snapshot
    std::wstring serviceName;  // empty unless a running service has this process
    std::wstring displayName;  // the service's display name, else the exe name
};

// Walks the processes and their modules (toolhelp snapshots) and returns,
// once each, those holding one of `files`; paths compare case-insensitively
// after both are made full and long.
std::vector<FileUser> FindFileUsers(const std::vector<std::wstring>& files);

// A path made full and long, for comparison; unchanged where that fails.
std::wstring ComparablePath(const std::wstring& path);
bool SamePath(const std::wstring& a, const std::wstring& b);
