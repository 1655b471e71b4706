#include "app/run_patch_session.h"

#include <memory>
#include <new>

#include "app/patch_context.h"
#include "app/patch_process.h"

HRESULT RunPatchSession(const InstallList& list, const wchar_t* title, HINSTANCE module) {
  // The context lives as long as the session; without memory for it the phases
  // run with none and report E_INVALIDARG.
  std::unique_ptr<PatchContext> context;
  try {
    context = std::make_unique<PatchContext>();
  } catch (const std::bad_alloc&) {
  }
  CPatchProcess process;
  return process.Run(list, context.get(), title, module);
}
