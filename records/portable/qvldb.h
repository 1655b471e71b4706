// The class that the maker's media-database library qvldb.dll exports, as its
// callers see it. Callers allocate the object's storage themselves, so the
// layout below (a virtual table pointer, then the library's own fields) fixes
// the size they allocate. No declaration here is __declspec(dllimport): the
// updater binds the members by name at run time (records/qvldb_binding.h),
// and mingw's delay-load imports of a dllimport-declared class stay unbound.
#pragma once

class QvldbNotify;  // the library's notification sink; callers pass null

class qvldb {
 public:
  qvldb();
  virtual ~qvldb();

  bool Open(int mode);
  bool BeginTransaction();
  bool ExecSQL(const wchar_t* sql, QvldbNotify* notify);
  bool Commit();

 private:
  void* connection_;   // the library's database connection
  void* reserved_[7];  // kept for the library's use
};
