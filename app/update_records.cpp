#include "app/update_records.h"

#include <windows.h>

#include <functional>

#include "base/trace.h"
#include "base/try_again.h"
#include "records/area_code.h"
#include "records/retired_features.h"
#include "records/version_records.h"

namespace {

// Tried again while it fails; true when written or there is nothing to write.
bool Recorded(const wchar_t* what, const std::function<HRESULT()>& write) {
  HRESULT result = S_OK;
  TryAgainWhileFailing([&] { return SUCCEEDED(result = write()); });
  if (result == S_OK) {
    Trace(L"record: %ls written", what);
  } else {
    Trace(L"record: %ls %ls: 0x%08lX", what, FAILED(result) ? L"not written" : L"has nowhere to go",
          static_cast<unsigned long>(result));
  }
  return SUCCEEDED(result);
}

}  // namespace

bool WriteUpdateRecords(const UpdateIdentity& identity) {
  const bool listed = Recorded(L"patch list entry", [&] {
    return WritePatchListEntry(identity.patchId.c_str(), identity.productDescription.c_str(),
                               identity.version.c_str());
  });
  const bool versionFile = TryAgainWhileFailing(
      [&] { return WriteVersionFile(identity.productDescription.c_str(), identity.version.c_str()); });
  const bool uninstall = Recorded(L"uninstall entry", [&] { return UpdateUninstallEntry(identity.version); });
  return listed && versionFile && uninstall;
}

void RemoveRetiredData() {
  const bool retired = GetAreaCode() == 1 || TryAgainWhileFailing(RemoveRetiredFeatureData);
  const bool value = TryAgainWhileFailing(DeleteWebMediaValue);
  const bool help = TryAgainWhileFailing(DeleteRetiredHelpFiles);
  Trace(L"record: retired data %ls", retired && value && help ? L"removed" : L"not all removed");
}
