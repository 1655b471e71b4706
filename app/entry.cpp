#include "app/entry.h"

#include <cstdlib>
#include <string>

#include "app/admin_check.h"
#include "app/message_box.h"
#include "app/messages.h"
#include "app/module_state.h"
#include "app/os_version_cache.h"
#include "app/outcome.h"
#include "app/run_patch_session.h"
#include "app/silent_mode.h"
#include "app/tv_recorder.h"
#include "app/win32_raii.h"
#include "applicability/applicability.h"
#include "payload/install_list.h"
#include "records/retired_features.h"

namespace {

int ReportCheckOutcome(const outcome::CheckOutcome& result) {
  if (!IsSilent()) ShowMessageBox(LoadMessage(result.messageId), result.boxType);
  return result.exitCode;
}

}  // namespace

int RunUpdater(HINSTANCE instance) {
  SetModuleInstance(instance);
  SetCaption(LoadMessage(outcome::kMsgCaption).c_str());
  SetSilent(IsLaunchedByUpdateTool());

  // Without a mutex the run goes on unprotected.
  UniqueHandle mutex(CreateMutexW(nullptr, FALSE, L"Global\\OrvaneMirevoUpdater-MutexAll"));
  if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
    mutex.Reset();
    return ReportCheckOutcome(outcome::kAlreadyRunning);
  }

  bool member = false;
  const bool completed = IsAdministratorsMember(member);
  if (!outcome::AdministratorCheckAllows(completed, member, OsVersionCache().platformId)) {
    mutex.Reset();
    return ReportCheckOutcome(outcome::kNotAdministrator);
  }

  if (const int refusal = CheckApplicability(); refusal != 0) {
    if (!IsSilent()) {
      ShowMessageBox(LoadMessage(refusal), outcome::kBoxIconHand);
      ShowMessageBox(LoadMessage(outcome::kMsgCancelled), outcome::kBoxOk);
    }
    std::exit(0);  // the process end releases the mutex
  }

  InstallList installList;
  if (BuildInstallList(installList) < 0) {
    mutex.Reset();
    return ReportCheckOutcome(outcome::kNothingToUpdate);
  }

  // A silent run has nobody to read the notice: a box would hold it for good.
  if (!IsSilent()) ShowRetiredFeatureNotice();
  CloseTvRecorder();

  const HRESULT result = RunPatchSession(installList, Caption(), instance);
  // Released before the closing message, so a new instance may start meanwhile.
  mutex.Reset();
  const outcome::ClosingMessage closing = outcome::ClosingMessageFor(result);
  if (closing.show && !IsSilent()) {
    const std::wstring text = closing.formatWithCode
                                  ? FormatMessageWithCode(closing.messageId, static_cast<uint32_t>(result))
                                  : LoadMessage(closing.messageId);
    ShowMessageBox(text, closing.boxType);
  }
  return result;
}
