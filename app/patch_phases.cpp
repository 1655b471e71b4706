#include "app/patch_phases.h"

#include <memory>
#include <vector>

#include "app/update_journal_file.h"
#include "app/update_records.h"
#include "app/update_transaction.h"
#include "applicability/own_identity.h"
#include "base/phase_time.h"
#include "base/trace.h"
#include "control/preparation_steps.h"
#include "control/shutdown.h"
#include "records/media_database.h"
#include "records/removal.h"

namespace {

// The component services in the order they are queried; restarts go the other way.
const wchar_t* const kServiceNames[] = {L"QVLDms", L"QVLCImp", L"QVLDs"};

// The session's steps, from the prepare phase to the finish phase. The
// preparation (services and the recording application) is undone after
// every run; the transaction's changes only when they fail.
struct SessionSteps {
  StepList preparation;
  std::vector<const ServiceRestartStep*> services;
  const RecorderRelaunchStep* recorder = nullptr;
  UpdateJournalFile journal;
  UpdateTransaction transaction{journal};
  UpdateIdentity identity;  // filled by the prepare phase
};

SessionSteps& Session() {
  static SessionSteps session;
  return session;
}

void PlanPreparation(SessionSteps& session) {
  if (session.preparation.Size() != 0) return;
  // Undone in reverse: the services from the last queried, then the recording application.
  auto recorder = std::make_unique<RecorderRelaunchStep>();
  session.recorder = recorder.get();
  session.preparation.Add(std::move(recorder));
  for (const wchar_t* name : kServiceNames) {
    auto service = std::make_unique<ServiceRestartStep>(name);
    session.services.push_back(service.get());
    session.preparation.Add(std::move(service));
  }
}

RunningBefore WhatRanBefore(const SessionSteps& session) {
  RunningBefore before;
  for (const ServiceRestartStep* service : session.services) {
    if (service->WasRunning()) before.services.push_back(service->Service());
  }
  before.recorder = session.recorder != nullptr && session.recorder->Pending();
  return before;
}

}  // namespace

HRESULT PreparePhase(HRESULT result, HANDLE, const InstallList*, PatchContext* context) {
  Trace(L"phase: prepare");
  PhaseTime time(L"prepare");
  SessionSteps& session = Session();
  PlanPreparation(session);
  session.preparation.Do();  // notes what runs; undone by the finish phase
  // Nothing is stopped that the journal cannot have started again.
  const HRESULT begun = session.transaction.Begin(WhatRanBefore(session));
  if (FAILED(begun)) {
    Trace(L"journal: not begun: 0x%08lX", static_cast<unsigned long>(begun));
    return begun;
  }
  {
    PhaseTime closing(L"programs and services closed");
    CloseRunningSoftware();
  }
  if (context == nullptr) return E_INVALIDARG;
  if (FAILED(result)) return result;
  // An empty text is no failure here.
  FillPatchIdentity(context->productDescription, context->patchId, context->updateVersion);
  session.identity = {context->patchId, context->productDescription, context->updateVersion};
  return S_OK;
}

HRESULT InstallUpdate(const InstallList& list, HINSTANCE module, HANDLE stopEvent) {
  SessionSteps& session = Session();
  const auto cancelled = [stopEvent] {
    return stopEvent != nullptr && WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0;
  };
  return session.transaction.Run(list, module, WhatRanBefore(session), session.identity, cancelled);
}

HRESULT FinishPhase(HRESULT result, HANDLE, const InstallList*, PatchContext* context) {
  Trace(L"phase: finish after 0x%08lX", static_cast<unsigned long>(result));
  PhaseTime time(L"finish");
  SessionSteps& session = Session();
  if (session.transaction.Committed()) {
    // The database's library has no roll-back: it runs on a committed update
    // only, while the services are still stopped.
    const bool database = UpdateMediaDatabase();
    Trace(L"record: media database %ls", database ? L"updated" : L"not updated");
    const HRESULT removed = session.transaction.Finish();
    Trace(L"transaction: old copies removed: 0x%08lX", static_cast<unsigned long>(removed));
  }
  session.preparation.Rollback();
  bool servicesStarted = true;
  for (const ServiceRestartStep* service : session.services) {
    servicesStarted = SUCCEEDED(service->StartResult()) && servicesStarted;
  }
  if (!session.transaction.Committed()) {
    session.transaction.End();
    // The script and the work folder go after a failure too.
    RemoveWorkFolder();
    if (context == nullptr) return E_INVALIDARG;
    return result;
  }
  // The update is in place: the records must say so, whatever the result.
  const bool recorded = WriteUpdateRecords(session.identity);
  {
    PhaseTime removal(L"work folder removal");
    RemoveWorkFolder();
  }
  RemoveRetiredData();
  // What is still left undone stays in the journal for the next run.
  session.transaction.End(recorded && servicesStarted);
  if (context == nullptr) return E_INVALIDARG;
  // Nothing here changes the session's result.
  return result;
}
