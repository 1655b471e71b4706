// Every change an update makes is one step that can be undone; a list runs
// them in order and, when one fails, undoes in reverse what ran.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Step {
 public:
  virtual ~Step() = default;
  // Makes the change: 0 (or another non-negative value) on success, the
  // HRESULT of the failure otherwise. A Do that fails half-way has recorded
  // what it changed, so that Rollback can undo exactly that.
  virtual int32_t Do() = 0;
  // Undoes what Do recorded, also after a Do that failed half-way; does
  // nothing for what Do never reached.
  virtual void Rollback() = 0;
  // After the commit: what makes the change final (old copies deleted).
  // Best effort: the result is for the trace and changes nothing.
  virtual int32_t Finish() { return 0; }
  // Whether the roll-back could not undo everything now and left the rest
  // for the next restart.
  virtual bool RestartNeeded() const { return false; }
  // What the trace calls the step.
  virtual std::wstring Name() const = 0;
};

class StepList {
 public:
  // Called after each step with its name and result.
  using Observer = std::function<void(const std::wstring& name, int32_t result)>;

  void Add(std::unique_ptr<Step> step);
  // Runs the steps not yet run, in order. Stops at the first failure, or
  // with E_ABORT before a step when `cancelled` says so. The step that failed
  // counts as run: its Rollback undoes its half.
  int32_t Do(const std::function<bool()>& cancelled = {});
  // Undoes every step that ran, the last first; once. True when something
  // is left for the next restart.
  bool Rollback();
  // Calls Finish on every step that ran, in order; the first failure.
  int32_t Finish();

  void SetObserver(Observer observer) { observer_ = std::move(observer); }
  size_t Size() const { return steps_.size(); }
  size_t Ran() const { return ran_; }

 private:
  std::vector<std::unique_ptr<Step>> steps_;
  size_t ran_ = 0;
  Observer observer_;
};
