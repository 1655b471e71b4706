#include "records/media_database.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <string>

#include "base/win32_raii.h"
#include "records/qvldb_binding.h"

namespace {

constexpr wchar_t kLibraryFolderTail[] = L"\\Orvane Shared\\QVLLib\\";
constexpr wchar_t kLibraryName[] = L"qvldb.dll";
constexpr int kPrivateFlag = 0;
constexpr int kOpenMode = 1;

// The library's full path in the Common Files folder (the 32-bit one for this
// 32-bit program on 64-bit Windows); empty when the folder is unknown.
std::wstring LibraryPath() {
  UniqueTaskText folder;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_ProgramFilesCommon, 0, nullptr, folder.Receive()))) {
    return std::wstring();  // the text, if any, is freed all the same
  }
  return std::wstring(folder.Get()) + kLibraryFolderTail + kLibraryName;
}

// The statement with the flag value filled in.
std::wstring PrivateFlagStatement(int flag) {
  wchar_t text[96];
  std::swprintf(text, sizeof(text) / sizeof(text[0]),
                L"update item_tbl set private_flag = %d where item_tbl.server_id <> '1'", flag);
  return text;
}

// Open, transaction, statement, commit: each step only after the one before
// answered true. After a false ExecSQL the open transaction is left to the
// object's destruction.
bool RunStatement(QvldbObject& database) {
  if (!database.Open(kOpenMode)) return false;
  if (!database.BeginTransaction()) return false;
  const std::wstring statement = PrivateFlagStatement(kPrivateFlag);
  if (!database.ExecSQL(statement.c_str(), nullptr)) return false;
  return database.Commit();
}

}  // namespace

bool UpdateMediaDatabase() {
  const std::wstring path = LibraryPath();
  // An empty path names no library; loading it would be left to the search path.
  if (path.empty()) return false;
  // Loaded by full path before any member is bound, so that the binding finds
  // this module under its name. Its own dependencies come from its folder and
  // the system folder, never from the program's. A missing library ends the
  // step here.
  UniqueModule library(LoadLibraryExW(path.c_str(), nullptr,
                                      LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (!library && GetLastError() == ERROR_INVALID_PARAMETER) {
    // Windows 7 without the library-search update: the library's folder first.
    library.Reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  }
  if (!library) return false;
  // The object is destroyed before the library is released.
  QvldbObject database;
  if (!database.Created()) return false;
  return RunStatement(database);
}
