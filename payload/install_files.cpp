#include "payload/install_files.h"

HRESULT InstallFiles(const InstallList& list, HINSTANCE /*module*/) {
  // Not built yet; only reachable with an empty list, since no row is ever selected.
  return list.empty() ? S_OK : E_NOTIMPL;
}
