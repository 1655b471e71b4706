#include "app/patch_phases.h"

#include "base/module_state.h"
#include "base/phase_time.h"
#include "base/trace.h"
#include "applicability/own_identity.h"
#include "control/relaunch.h"
#include "control/service_control.h"
#include "control/shutdown.h"
#include "payload/registry_import.h"
#include "records/area_code.h"
#include "records/media_database.h"
#include "records/removal.h"
#include "records/retired_features.h"
#include "records/version_records.h"

namespace {

// The component services in the order they are queried; restarts go the other way.
const wchar_t* const kServiceNames[kServiceCount] = {L"QVLDms", L"QVLCImp", L"QVLDs"};

}  // namespace

HRESULT PreparePhase(HRESULT result, HANDLE, const InstallList*, PatchContext* context) {
  Trace(L"phase: prepare");
  PhaseTime time(L"prepare");
  for (int s = 0; s < kServiceCount; ++s) {
    const bool running = QueryServiceState(kServiceNames[s]) == SERVICE_RUNNING;
    SetServiceWasRunning(static_cast<ComponentService>(s), running);
    Trace(L"service: %ls %ls", kServiceNames[s], running ? L"running" : L"not running");
  }
  {
    PhaseTime closing(L"programs and services closed");
    CloseRunningSoftware();
  }
  if (context == nullptr) return E_INVALIDARG;
  if (FAILED(result)) return result;
  // An empty text is no failure here.
  FillPatchIdentity(context->productDescription, context->patchId, context->updateVersion);
  return S_OK;
}

HRESULT FinishPhase(HRESULT result, HANDLE, const InstallList*, PatchContext* context) {
  Trace(L"phase: finish after 0x%08lX", static_cast<unsigned long>(result));
  PhaseTime time(L"finish");
  const RegistryImportResult imported = ImportRegistryScript(ModuleInstance());
  if (FAILED(imported.script)) {
    Trace(L"registry: script not imported (%ls): 0x%08lX", imported.step,
          static_cast<unsigned long>(imported.script));
  } else {
    Trace(L"registry: script started; compatibility values %ls",
          imported.valuesWritten ? L"written" : L"not all written");
  }
  const bool database = UpdateMediaDatabase();
  Trace(L"record: media database %ls", database ? L"updated" : L"not updated");
  for (int s = kServiceCount - 1; s >= 0; --s) {
    if (ServiceWasRunning(static_cast<ComponentService>(s))) {
      PhaseTime start(std::wstring(L"service start ") + kServiceNames[s]);
      StartServiceAndWait(kServiceNames[s]);
    }
  }
  if (TvRecorderRelaunchPending()) {
    const bool started = RelaunchTvRecorder();
    Trace(L"program: recording application %ls", started ? L"started again" : L"not started again");
  }
  if (context == nullptr) return E_INVALIDARG;
  if (SUCCEEDED(result)) {
    const bool listed = WritePatchListEntry(context->patchId.c_str(), context->productDescription.c_str(),
                                            context->updateVersion.c_str());
    Trace(L"record: patch list entry %ls", listed ? L"written" : L"not written");
    WriteVersionFile(context->productDescription.c_str(), context->updateVersion.c_str());
    const bool uninstall = UpdateUninstallEntry();
    Trace(L"record: uninstall entry %ls", uninstall ? L"written" : L"not written");
    {
      PhaseTime removal(L"work folder removal");
      RemoveWorkFolder();
    }
    if (GetAreaCode() != 1) RemoveRetiredFeatureData();
    DeleteWebMediaValue();
    DeleteRetiredHelpFiles();
    Trace(L"record: work folder and retired data removed");
  }
  // Nothing here changes the session's result.
  return result;
}
