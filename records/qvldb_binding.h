// Calls into qvldb.dll the way a delay-load import does: each member is
// resolved by its decorated name at its first call, in the module loaded
// under the name "qvldb.dll" (whatever full path it was first loaded from),
// and the binding keeps its own reference to that module for the rest of the
// process. A member that cannot be bound answers false and does nothing.
#pragma once

#include "records/portable/qvldb.h"

// One qvldb object on storage of its own: allocated without throwing,
// constructed by the library, destroyed through its virtual destructor, and
// its storage freed here.
class QvldbObject {
 public:
  QvldbObject();
  ~QvldbObject();
  QvldbObject(const QvldbObject&) = delete;
  QvldbObject& operator=(const QvldbObject&) = delete;

  // False when the storage could not be allocated or the constructor not bound.
  bool Created() const { return object_ != nullptr; }

  bool Open(int mode);
  bool BeginTransaction();
  bool ExecSQL(const wchar_t* sql, QvldbNotify* notify);
  bool Commit();

 private:
  qvldb* object_ = nullptr;
};
