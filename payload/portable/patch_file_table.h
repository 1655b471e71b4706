// The payload rows: one per PATCH resource, ids 401..561 in table order, and
// the file names that other parts of the program look for.
#pragma once
#include <array>
#include <cstddef>
#include <vector>

#include "payload/portable/patch_file_entry.h"

constexpr int32_t kFirstPatchResourceId = 401;
constexpr size_t kPatchFileCount = 161;

// The 161 rows, as compiled in (bare file names).
const std::vector<PatchFileEntry>& PatchFileTable();

// Names shared with other parts of the program. All but the last watched
// library are rows of the shared component folder (folder code 20).

// The product's programs (folder code 0).
inline constexpr const wchar_t* kMainProgram = L"Travio.exe";
inline constexpr const wchar_t* kHelperProgram = L"TravioHelper.exe";
inline constexpr const wchar_t* kUploaderProgram = L"TravioUploader.exe";
inline constexpr const wchar_t* kSchedulerProgram = L"TravioScheduler.exe";

// The shared components' tray program.
inline constexpr const wchar_t* kSharedTrayProgram = L"Traylet.exe";

// The media-database library, loaded at run time.
inline constexpr const wchar_t* kMediaDatabaseLibrary = L"qvldb.dll";

// The three in-process COM servers that the registry scripts register.
inline constexpr const wchar_t* kCatalogServerLibrary = L"qvl-catalog.dll";
inline constexpr const wchar_t* kPlayerControlLibrary = L"qvl-player-ctl.dll";  // holds the one control class
inline constexpr const wchar_t* kDeviceLinkServerLibrary = L"qvl-device-link.dll";
inline constexpr std::array<const wchar_t*, 3> kComServerLibraries = {
    kCatalogServerLibrary, kPlayerControlLibrary, kDeviceLinkServerLibrary};

// The libraries whose users are closed before the files are replaced. Each is
// joined to the shared component folder: nine libraries of the shared
// components, then the product's social-network SDK library (a row of the
// product folder, code 0, which is looked for there all the same).
inline constexpr std::array<const wchar_t*, 10> kWatchedLibraries = {
    L"qvl-core.dll",     L"media-index.dll", L"thumb-cache.dll", L"meta-reader.dll",
    L"stream-host.dll",  L"device-watch.dll", L"net-share.dll",  L"content-import.dll",
    L"schedule-agent.dll", L"socialink-sdk.dll",
};
