#include "payload/registry_steps.h"

#include <memory>
#include <utility>
#include <vector>

#include "base/phase_time.h"
#include "base/platform.h"
#include "base/registry_snapshot.h"
#include "base/registry_value.h"
#include "base/trace.h"
#include "base/try_again.h"
#include "base/win32_raii.h"
#include "payload/portable/activex_class_ids.h"
#include "payload/portable/registry_script.h"
#include "payload/registry_import.h"

namespace {

// What the three steps share: the platform and the script as it was checked.
struct RegistryPlan {
  bool is64Bit = false;
  std::wstring editorPath;
  ParsedScript script;
};

// The views each key is saved in: both on 64-bit Windows, where the script's
// shared keys and the compatibility keys exist in each.
std::vector<REGSAM> SavedViews(bool is64Bit) {
  if (is64Bit) return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
  return {0};
}

// The view the editor writes: the native one (the Windows folder's editor is
// the native program; the 64-bit script names the 32-bit view's keys by
// their Wow6432Node path).
REGSAM EditorView(bool is64Bit) { return is64Bit ? KEY_WOW64_64KEY : 0; }

class SnapshotStep : public Step {
 public:
  SnapshotStep(std::shared_ptr<const RegistryPlan> plan, SnapshotSaver save)
      : plan_(std::move(plan)), save_(std::move(save)) {}

  int32_t Do() override {
    std::vector<std::wstring> paths;
    for (const ScriptKey& key : plan_->script.keys) paths.push_back(key.path);
    for (const wchar_t* classId : ActiveXClassIds()) paths.push_back(ActiveXCompatibilityKey(classId));
    RegistrySnapshot snapshot;
    {
      PhaseTime time(L"registry snapshot captured");
      for (REGSAM view : SavedViews(plan_->is64Bit)) {
        const HRESULT result = CaptureRegistryKeys(paths, view, snapshot);
        if (FAILED(result)) return result;
      }
    }
    PhaseTime time(L"registry snapshot saved");
    const HRESULT saved = save_(EncodeRegistrySnapshot(snapshot));
    if (FAILED(saved)) return saved;
    // Only a saved snapshot is put back: until then nothing was changed.
    snapshot_ = std::move(snapshot);
    taken_ = true;
    return S_OK;
  }

  void Rollback() override {
    if (!taken_) return;
    taken_ = false;
    // Tried again while it fails: each try puts back what the last one did not.
    HRESULT result = S_OK;
    TryAgainWhileFailing([&] { return SUCCEEDED(result = RestoreRegistrySnapshot(snapshot_)); });
    Trace(L"registry: %u keys put back: 0x%08lX", static_cast<unsigned>(snapshot_.keys.size()),
          static_cast<unsigned long>(result));
  }

  std::wstring Name() const override { return L"registry snapshot"; }

 private:
  std::shared_ptr<const RegistryPlan> plan_;
  SnapshotSaver save_;
  RegistrySnapshot snapshot_;
  bool taken_ = false;
};

// Every key and value of the script as the editor was to store it.
HRESULT CheckImported(const ParsedScript& script, REGSAM view) {
  for (const ScriptKey& expected : script.keys) {
    UniqueRegKey key;
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, expected.path.c_str(), 0, KEY_QUERY_VALUE | view,
                                      key.Receive());
    if (opened != ERROR_SUCCESS) {
      Trace(L"registry: key not imported (%ld): %ls", opened, expected.path.c_str());
      return HRESULT_FROM_WIN32(opened);
    }
    for (const ScriptValue& value : expected.values) {
      RegistryValue stored;
      const LONG read = ReadRegistryValue(key.Get(), value.name.c_str(), stored);
      if (read != ERROR_SUCCESS) {
        Trace(L"registry: value not imported (%ld): %ls \"%ls\"", read, expected.path.c_str(), value.name.c_str());
        return HRESULT_FROM_WIN32(read);
      }
      if (stored.type != value.type || stored.data != value.data) {
        Trace(L"registry: value imported otherwise: %ls \"%ls\"", expected.path.c_str(), value.name.c_str());
        return kRegistryValueDiffers;
      }
    }
  }
  return S_OK;
}

class ImportStep : public Step {
 public:
  explicit ImportStep(std::shared_ptr<const RegistryPlan> plan) : plan_(std::move(plan)) {}

  int32_t Do() override {
    const HRESULT started = StartRegistryEditor(plan_->editorPath);
    if (FAILED(started)) return started;
    started_ = true;
    startTick_ = GetTickCount();
    RegistryImportEnd end;
    {
      PhaseTime time(L"registry editor waited for");
      end = WaitForRegistryImport(kRegistryImportWaitMs);
    }
    if (!end.ended) return kRegistryEditorTimedOut;
    if (end.exitCode != 0) {
      Trace(L"registry: editor ended with exit code 0x%08lX", static_cast<unsigned long>(end.exitCode));
      return kRegistryEditorFailed;
    }
    PhaseTime time(L"registry read back");
    return CheckImported(plan_->script, EditorView(plan_->is64Bit));
  }

  // An editor that still runs would write on after the snapshot is put back:
  // it has what is left of its time from its start, then it is ended.
  void Rollback() override {
    if (!started_) return;
    started_ = false;
    const DWORD elapsed = GetTickCount() - startTick_;
    const DWORD left = elapsed < kRegistryImportWaitMs ? kRegistryImportWaitMs - elapsed : 0;
    if (!EndRegistryEditor(left)) Trace(L"registry: the editor could not be ended");
  }

  std::wstring Name() const override { return L"registry import"; }

 private:
  std::shared_ptr<const RegistryPlan> plan_;
  bool started_ = false;
  DWORD startTick_ = 0;
};

// Put back by the snapshot's roll-back, as the import is.
class CompatibilityStep : public Step {
 public:
  explicit CompatibilityStep(std::shared_ptr<const RegistryPlan> plan) : plan_(std::move(plan)) {}
  int32_t Do() override {
    PhaseTime time(L"compatibility values written");
    return WriteActiveXCompatibilityFlags(plan_->is64Bit);
  }
  void Rollback() override {}
  std::wstring Name() const override { return L"compatibility values"; }

 private:
  std::shared_ptr<const RegistryPlan> plan_;
};

}  // namespace

HRESULT PlanRegistrySteps(HINSTANCE module, const SnapshotSaver& save, StepList& list) {
  PreparedRegistryScript prepared = PrepareRegistryScript(module);
  if (FAILED(prepared.result)) {
    Trace(L"registry: script not prepared (%ls): 0x%08lX", prepared.step, static_cast<unsigned long>(prepared.result));
    return prepared.result;
  }
  auto plan = std::make_shared<RegistryPlan>();
  plan->is64Bit = Is64BitProcessor();
  plan->editorPath = std::move(prepared.editorPath);
  plan->script = ParseRegistryScript(prepared.text);
  if (!plan->script.ok) {
    Trace(L"registry: script not parsed: %ls", plan->script.error.c_str());
    return kRegistryScriptNotParsed;
  }
  list.Add(std::make_unique<SnapshotStep>(plan, save));
  list.Add(std::make_unique<ImportStep>(plan));
  list.Add(std::make_unique<CompatibilityStep>(plan));
  return S_OK;
}
