// qvldb.dll: a stand-in for the maker's media-database library, exporting the
// members of the class qvldb (records/portable/qvldb.h) by their decorated names
// (qvldb.def), over a real SQLite database:
//   %ProgramData%\Orvane Shared\QVLLib\qvlmedia.db
// Open(1) opens it for reading and writing (any other mode: read-only); it
// must exist. The destructor rolls back a transaction left open and closes the
// database. QvldbNotify is not used: its address is only recorded.
//
// Every call is recorded in qvldb.log beside the library (call_log.h). The
// setting "FailAt" (qvldb.ini or QVLDB_FAILAT) names one member of Open,
// BeginTransaction and ExecSQL that answers false without doing anything.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "base/win32_raii.h"
#include "call_log.h"
#include "helper_common.h"  // from tests/wine/helpers
#include "records/portable/qvldb.h"
#include "sqlite3.h"

namespace {

using qvldb_standin::AddressField;
using qvldb_standin::Field;
using qvldb_standin::LogCall;

constexpr wchar_t kDatabaseTail[] = L"\\Orvane Shared\\QVLLib\\qvlmedia.db";
constexpr int kReadWrite = 1;

std::wstring FromUtf8(const char* text) {
  if (text == nullptr || *text == '\0') return std::wstring();
  int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, &out[0], size);
  out.resize(static_cast<size_t>(size) - 1);
  return out;
}

std::wstring DatabasePath() {
  UniqueTaskText folder;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, folder.Receive()))) return std::wstring();
  return folder.Get() + std::wstring(kDatabaseTail);
}

// The member that the settings tell to answer false.
bool ForcedFalse(const wchar_t* member) {
  return qvldb_standin::Setting(L"FailAt") == member;
}

sqlite3* Connection(void* field) { return static_cast<sqlite3*>(field); }

// Runs a fixed statement; its outcome and SQLite's message, if any, as log fields.
bool Run(sqlite3* db, const char* sql, std::string& fields) {
  char* message = nullptr;
  const bool ok = sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK;
  if (!ok) fields += Field("error", FromUtf8(message));
  sqlite3_free(message);
  return ok;
}

}  // namespace

qvldb::qvldb() : connection_(nullptr), reserved_{} {
  LogCall("qvldb", AddressField("object", this));
}

qvldb::~qvldb() {
  std::string fields = AddressField("object", this);
  if (sqlite3* db = Connection(connection_)) {
    const bool open = sqlite3_get_autocommit(db) == 0;
    fields += Field("open_transaction", open);
    if (open) fields += Field("rolled_back", Run(db, "ROLLBACK", fields));
    sqlite3_close(db);
    connection_ = nullptr;
  }
  LogCall("~qvldb", fields);
}

bool qvldb::Open(int mode) {
  std::string fields = AddressField("object", this) + Field("mode", static_cast<long long>(mode));
  bool result = false;
  if (ForcedFalse(L"Open")) {
    fields += Field("forced", true);
  } else if (connection_ == nullptr) {
    const std::wstring path = DatabasePath();
    fields += Field("database", path);
    sqlite3* db = nullptr;
    const int flags = mode == kReadWrite ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(helper::ToUtf8(path).c_str(), &db, flags, nullptr) == SQLITE_OK) {
      connection_ = db;
      result = true;
    } else {
      fields += Field("error", FromUtf8(sqlite3_errmsg(db)));
      sqlite3_close(db);
    }
  }
  LogCall("Open", fields + Field("result", result));
  return result;
}

bool qvldb::BeginTransaction() {
  std::string fields = AddressField("object", this);
  bool result = false;
  if (ForcedFalse(L"BeginTransaction")) {
    fields += Field("forced", true);
  } else if (sqlite3* db = Connection(connection_)) {
    result = Run(db, "BEGIN IMMEDIATE", fields);
  }
  LogCall("BeginTransaction", fields + Field("result", result));
  return result;
}

bool qvldb::ExecSQL(const wchar_t* sql, QvldbNotify* notify) {
  std::string fields = AddressField("object", this) + AddressField("notify", notify);
  if (sql != nullptr) fields += Field("sql", std::wstring(sql));
  bool result = false;
  sqlite3* db = Connection(connection_);
  if (ForcedFalse(L"ExecSQL")) {
    fields += Field("forced", true);
  } else if (db != nullptr && sql != nullptr) {
    // Every statement of the text in turn; rows they return are not used.
    const int changesBefore = sqlite3_total_changes(db);
    const void* next = sql;
    result = true;
    while (result && next != nullptr && *static_cast<const wchar_t*>(next) != L'\0') {
      sqlite3_stmt* statement = nullptr;
      const void* tail = nullptr;
      if (sqlite3_prepare16_v2(db, next, -1, &statement, &tail) != SQLITE_OK) {
        result = false;
      } else if (statement != nullptr) {
        int step;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        }
        result = step == SQLITE_DONE;
      }
      if (!result) fields += Field("error", FromUtf8(sqlite3_errmsg(db)));
      sqlite3_finalize(statement);
      next = tail;
    }
    fields += Field("changes", static_cast<long long>(sqlite3_total_changes(db) - changesBefore));
  }
  LogCall("ExecSQL", fields + Field("result", result));
  return result;
}

bool qvldb::Commit() {
  std::string fields = AddressField("object", this);
  bool result = false;
  if (sqlite3* db = Connection(connection_)) result = Run(db, "COMMIT", fields);
  LogCall("Commit", fields + Field("result", result));
  return result;
}
