#include "records/qvldb_binding.h"

#include <windows.h>

#include <cstring>
#include <new>

namespace {

// Member functions of a 32-bit mingw class take `this` in ECX (thiscall).
using Constructor = void(__thiscall*)(qvldb*);
using OpenMember = bool(__thiscall*)(qvldb*, int);
using PlainMember = bool(__thiscall*)(qvldb*);
using ExecSqlMember = bool(__thiscall*)(qvldb*, const wchar_t*, QvldbNotify*);

// The decorated names of the members of records/portable/qvldb.h.
constexpr char kConstructor[] = "_ZN5qvldbC1Ev";
constexpr char kOpen[] = "_ZN5qvldb4OpenEi";
constexpr char kBeginTransaction[] = "_ZN5qvldb16BeginTransactionEv";
constexpr char kExecSql[] = "_ZN5qvldb7ExecSQLEPKwP11QvldbNotify";
constexpr char kCommit[] = "_ZN5qvldb6CommitEv";

// The binding's reference to the library, taken at the first call that binds
// and never released, like a delay-load import's: bound members stay callable.
// Only a module already loaded under that name is taken: the name is never
// looked up on disk, where a folder of the search path could hold another.
HMODULE BoundLibrary() {
  static HMODULE library = nullptr;
  if (library == nullptr && !GetModuleHandleExW(0, L"qvldb.dll", &library)) library = nullptr;
  return library;
}

// Room for the library's object: the declared layout is 36 bytes (72 in a
// 64-bit build), but a newer library may construct a larger object into the
// storage it is given. A page is far more than any such growth, costs nothing
// for one object, and starts zeroed so that members the declaration does not
// know begin at zero.
constexpr size_t kObjectRoom = 4096;
static_assert(sizeof(qvldb) <= kObjectRoom);

// A member's address, looked up once at its first call (null when unbound).
template <typename Member>
Member Bind(const char* name, Member& slot) {
  if (slot == nullptr) {
    HMODULE library = BoundLibrary();
    if (library != nullptr) slot = reinterpret_cast<Member>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  }
  return slot;
}

Constructor g_constructor = nullptr;
OpenMember g_open = nullptr;
PlainMember g_beginTransaction = nullptr;
ExecSqlMember g_execSql = nullptr;
PlainMember g_commit = nullptr;

}  // namespace

QvldbObject::QvldbObject() {
  void* storage = ::operator new(kObjectRoom, std::nothrow);
  if (storage == nullptr) return;
  std::memset(storage, 0, kObjectRoom);
  Constructor construct = Bind(kConstructor, g_constructor);
  if (construct == nullptr) {
    ::operator delete(storage);
    return;
  }
  object_ = static_cast<qvldb*>(storage);
  construct(object_);
}

QvldbObject::~QvldbObject() {
  if (object_ == nullptr) return;
  object_->~qvldb();  // virtual: through the object's own table, into the library
  ::operator delete(static_cast<void*>(object_));
}

bool QvldbObject::Open(int mode) {
  OpenMember member = Bind(kOpen, g_open);
  return member != nullptr && member(object_, mode);
}

bool QvldbObject::BeginTransaction() {
  PlainMember member = Bind(kBeginTransaction, g_beginTransaction);
  return member != nullptr && member(object_);
}

bool QvldbObject::ExecSQL(const wchar_t* sql, QvldbNotify* notify) {
  ExecSqlMember member = Bind(kExecSql, g_execSql);
  return member != nullptr && member(object_, sql, notify);
}

bool QvldbObject::Commit() {
  PlainMember member = Bind(kCommit, g_commit);
  return member != nullptr && member(object_);
}
