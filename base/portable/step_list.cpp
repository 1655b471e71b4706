#include "base/portable/step_list.h"

#include "base/portable/hresult.h"

void StepList::Add(std::unique_ptr<Step> step) { steps_.push_back(std::move(step)); }

int32_t StepList::Do(const std::function<bool()>& cancelled) {
  while (ran_ < steps_.size()) {
    if (cancelled && cancelled()) return hresult::kAbort;
    Step& step = *steps_[ran_];
    ++ran_;  // before Do: a step that fails half-way is rolled back too
    const int32_t result = step.Do();
    if (observer_) observer_(step.Name(), result);
    if (result < 0) return result;
  }
  return hresult::kOk;
}

bool StepList::Rollback() {
  bool restart = false;
  while (ran_ > 0) {
    Step& step = *steps_[--ran_];
    step.Rollback();
    restart = step.RestartNeeded() || restart;
  }
  return restart;
}

int32_t StepList::Finish() {
  int32_t first = hresult::kOk;
  for (size_t i = 0; i < ran_; ++i) {
    const int32_t result = steps_[i]->Finish();
    if (result < 0 && first >= 0) first = result;
  }
  return first;
}
