#include "payload/install_files.h"

#include <vector>

#include "base/portable/journal_record.h"
#include "base/portable/step_list.h"
#include "payload/file_steps.h"

HRESULT InstallFiles(const InstallList& list, HINSTANCE module) {
  std::vector<JournalRecord> records;
  StepList steps;
  HRESULT result = PlanFileSteps(list, module, records, steps);
  if (FAILED(result)) return result;
  result = steps.Do();
  if (FAILED(result)) {
    steps.Rollback();
    return result;
  }
  steps.Finish();
  return S_OK;
}
