// The name under which an installed file in use is moved aside, so that the
// new file can take its place; Windows deletes it at the next restart.
#pragma once
#include <cstdint>
#include <string>

// "%s.tmp.%d-%d": the path, the process id and the tick count.
std::wstring AsideName(const std::wstring& path, uint32_t processId, uint32_t tickCount);

// "%s.new.%d-%d": the temporary name of a new file written beside the
// installed one before it takes its place.
std::wstring NewFileName(const std::wstring& path, uint32_t processId, uint32_t tickCount);
