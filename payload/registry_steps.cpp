// Interim, until the registry snapshot lands: the import alone, with the editor waited for and its result checked.
#include "payload/registry_steps.h"
#include <memory>
#include "payload/registry_import.h"
namespace {
class InterimImport : public Step {
 public:
  explicit InterimImport(HINSTANCE m) : module_(m) {}
  int32_t Do() override {
    const RegistryImportResult r = ImportRegistryScript(module_);
    if (FAILED(r.script)) return r.script;
    const RegistryImportEnd end = WaitForRegistryImport(kRegistryImportWaitMs);
    if (!end.ended) return HRESULT_FROM_WIN32(WAIT_TIMEOUT);
    if (end.exitCode != 0) return HRESULT_FROM_WIN32(ERROR_REGISTRY_IO_FAILED);
    return r.valuesWritten ? S_OK : E_FAIL;
  }
  void Rollback() override {}
  std::wstring Name() const override { return L"registry"; }
 private:
  HINSTANCE module_;
};
}  // namespace
HRESULT PlanRegistrySteps(HINSTANCE module, const SnapshotSaver&, StepList& list) {
  list.Add(std::make_unique<InterimImport>(module));
  return S_OK;
}
