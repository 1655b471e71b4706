#include "app/update_records.h"

#include <algorithm>

#include "base/trace.h"
#include "base/try_again.h"
#include "records/area_code.h"
#include "records/retired_features.h"
#include "records/version_records.h"

namespace {

bool Done(const std::vector<std::wstring>& done, const wchar_t* task) {
  return std::find(done.begin(), done.end(), task) != done.end();
}

bool Traced(const wchar_t* what, bool written) {
  Trace(L"record: %ls %ls", what, written ? L"written" : L"not written");
  return written;
}

}  // namespace

bool WriteUpdateRecords(const UpdateIdentity& identity, const std::vector<std::wstring>& done,
                        const std::function<void(const JournalRecord&)>& journal) {
  const bool listed = Traced(L"patch list entry", TryAgainWhileFailing([&] {
    return WritePatchListEntry(identity.patchId.c_str(), identity.productDescription.c_str(),
                               identity.version.c_str());
  }));
  bool versionFile = Done(done, kVersionFileTask);
  if (!versionFile) {
    versionFile = TryAgainWhileFailing(
        [&] { return WriteVersionFile(identity.productDescription.c_str(), identity.version.c_str()); });
    if (versionFile) {
      JournalRecord record;
      record.kind = RecordKind::kDone;
      record.task = kVersionFileTask;
      journal(record);
    }
  }
  const bool uninstall =
      Traced(L"uninstall entry", TryAgainWhileFailing([&] { return UpdateUninstallEntry(identity.version); }));
  return listed && versionFile && uninstall;
}

void RemoveRetiredData() {
  const bool retired = GetAreaCode() == 1 || TryAgainWhileFailing(RemoveRetiredFeatureData);
  const bool value = TryAgainWhileFailing(DeleteWebMediaValue);
  const bool help = TryAgainWhileFailing(DeleteRetiredHelpFiles);
  Trace(L"record: retired data %ls", retired && value && help ? L"removed" : L"not all removed");
}
