#include "app/entry.h"

#include <cstdlib>
#include <new>
#include <string>

#include "app/admin_check.h"
#include "app/message_box.h"
#include "base/messages.h"
#include "base/module_state.h"
#include "app/os_version_cache.h"
#include "app/recover_interrupted_update.h"
#include "base/portable/outcome.h"
#include "app/run_patch_session.h"
#include "app/silent_mode.h"
#include "base/phase_time.h"
#include "base/trace.h"
#include "app/tv_recorder.h"
#include "base/win32_raii.h"
#include "applicability/applicability.h"
#include "applicability/installed_product.h"
#include "applicability/own_identity.h"
#include "payload/install_list.h"
#include "records/retired_features.h"

namespace {

int ReportCheckOutcome(const outcome::CheckOutcome& result) {
  if (!IsSilent()) ShowMessageBox(LoadMessage(result.messageId), result.boxType);
  Trace(L"end: message %d, exit code 0x%08lX", static_cast<int>(result.messageId),
        static_cast<unsigned long>(result.exitCode));
  return result.exitCode;
}

// The closing message of a result (unless silent); the result is the exit code.
int ReportResult(HRESULT result) {
  const outcome::ClosingMessage closing = outcome::ClosingMessageFor(result);
  if (closing.show && !IsSilent()) {
    const std::wstring text = closing.formatWithCode
                                  ? FormatMessageWithCode(closing.messageId, static_cast<uint32_t>(result))
                                  : LoadMessage(closing.messageId);
    ShowMessageBox(text, closing.boxType);
  }
  Trace(L"end: exit code 0x%08lX", static_cast<unsigned long>(result));
  return result;
}

}  // namespace

int RunUpdater(HINSTANCE instance) {
  SetModuleInstance(instance);
  SetCaption(LoadMessage(outcome::kMsgCaption).c_str());
  // Where no one can see a box (a deployment tool's run as the system
  // account), the run is a silent one: exit code only.
  const bool byUpdateTool = IsLaunchedByUpdateTool();
  const bool seen = IsWindowStationVisible();
  SetSilent(byUpdateTool || !seen);
  Trace(L"start: update to %ls, %ls", GetOwnVersion().c_str(),
        byUpdateTool ? L"silent" : !seen ? L"silent (no visible window station)" : L"interactive");

  // Without a mutex the run goes on unprotected.
  UniqueHandle mutex(CreateMutexW(nullptr, FALSE, L"Global\\OrvaneMirevoUpdater-MutexAll"));
  if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
    Trace(L"check: another instance runs");
    mutex.Reset();
    return ReportCheckOutcome(outcome::kAlreadyRunning);
  }

  bool member = false;
  const bool completed = IsAdministratorsMember(member);
  Trace(L"check: administrators group %ls", !completed ? L"not readable" : member ? L"member" : L"not a member");
  if (!outcome::AdministratorCheckAllows(completed, member, OsVersionCache().platformId)) {
    mutex.Reset();
    return ReportCheckOutcome(outcome::kNotAdministrator);
  }

  // Before the applicability check reads the installed files' versions: an
  // update that was cut off is undone (or finished) first.
  const HRESULT recovered = RecoverInterruptedUpdate();
  if (FAILED(recovered)) {
    Trace(L"check: an interrupted update is not undone: 0x%08lX", static_cast<unsigned long>(recovered));
    mutex.Reset();
    return ReportResult(recovered);
  }

  const int refusal = CheckApplicability();
  Trace(L"check: installed version \"%ls\", %ls", InstalledVersion().c_str(),
        refusal == 0 ? L"applicable" : L"refused");
  if (refusal != 0) {
    Trace(L"end: message %d, exit code 0x00000000", refusal);
    if (!IsSilent()) {
      ShowMessageBox(LoadMessage(refusal), outcome::kBoxIconHand);
      ShowMessageBox(LoadMessage(outcome::kMsgCancelled), outcome::kBoxOk);
    }
    std::exit(0);  // the process end releases the mutex
  }

  InstallList installList;
  int selected = 0;
  try {
    selected = BuildInstallList(installList);
  } catch (const std::bad_alloc&) {
    // No memory for the list: a failure like any other, before anything changed.
    installList = InstallList();
    Trace(L"check: no memory for the list of files to install");
    mutex.Reset();
    return ReportResult(E_OUTOFMEMORY);
  }
  Trace(L"check: %d files to install", selected < 0 ? 0 : selected);
  TraceTimeSinceStart(L"checks");
  if (selected < 0) {
    mutex.Reset();
    return ReportCheckOutcome(outcome::kNothingToUpdate);
  }

  // A silent run has nobody to read the notice: a box would hold it for good.
  if (!IsSilent()) ShowRetiredFeatureNotice();
  Trace(L"check: retired-feature notice %ls", IsSilent() ? L"not shown (silent)" : L"done");
  CloseTvRecorder();

  Trace(L"session: start");
  HRESULT result;
  {
    PhaseTime time(L"session");
    result = RunPatchSession(installList, Caption(), instance);
  }
  Trace(L"session: result 0x%08lX", static_cast<unsigned long>(result));
  TraceTimeSinceStart(L"run");
  // Released before the closing message, so a new instance may start meanwhile.
  mutex.Reset();
  return ReportResult(result);
}
