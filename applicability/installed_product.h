// What is installed: the product's version file, installed files' versions,
// and the edition of the companion movie-making application.
#pragma once
#include <windows.h>

#include <string>

// Full path of the product's version file: the registered path, or the default
// under the 32-bit Program Files folder.
std::wstring GetVersionFilePath();

// Fills the installed version and the version entry from the version file;
// true when both are non-empty.
bool ReadInstalledVersion();
const std::wstring& InstalledVersion();
const std::wstring& VersionEntry();

// The VS_FIXEDFILEINFO of a file's version resource; false for a missing path,
// a folder, a file without version resource or a failed read. A PE image is
// read here, a few small reads (the system maps the whole file); an older
// program is left to the system.
bool ReadFixedFileVersion(const wchar_t* path, VS_FIXEDFILEINFO& info);

// Whether a payload row belongs to the install list as far as the two variant
// groups are concerned (the edition is looked up once per process).
bool PassesStoryloomVariant(int resourceId);
