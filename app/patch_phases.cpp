#include "app/patch_phases.h"

#include "app/module_state.h"
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
  for (int s = 0; s < kServiceCount; ++s) {
    SetServiceWasRunning(static_cast<ComponentService>(s), QueryServiceState(kServiceNames[s]) == SERVICE_RUNNING);
  }
  CloseRunningSoftware();
  if (context == nullptr) return E_INVALIDARG;
  if (FAILED(result)) return result;
  // An empty text is no failure here.
  FillPatchIdentity(context->productDescription, context->patchId, context->updateVersion);
  return S_OK;
}

HRESULT FinishPhase(HRESULT result, HANDLE, const InstallList*, PatchContext* context) {
  ImportRegistryScript(ModuleInstance());
  UpdateMediaDatabase();
  for (int s = kServiceCount - 1; s >= 0; --s) {
    if (ServiceWasRunning(static_cast<ComponentService>(s))) StartServiceAndWait(kServiceNames[s]);
  }
  if (TvRecorderRelaunchPending()) RelaunchTvRecorder();
  if (context == nullptr) return E_INVALIDARG;
  if (SUCCEEDED(result)) {
    WritePatchListEntry(context->patchId.c_str(), context->productDescription.c_str(),
                        context->updateVersion.c_str());
    WriteVersionFile(context->productDescription.c_str(), context->updateVersion.c_str());
    UpdateUninstallEntry();
    RemoveWorkFolder();
    if (GetAreaCode() != 1) RemoveRetiredFeatureData();
    DeleteWebMediaValue();
    DeleteRetiredHelpFiles();
  }
  // Nothing here changes the session's result.
  return result;
}
