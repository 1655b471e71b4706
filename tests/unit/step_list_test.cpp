#include "base/portable/step_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/portable/hresult.h"

namespace {

// A step that logs what is asked of it; `result` is what its Do returns.
class LoggingStep : public Step {
 public:
  LoggingStep(std::vector<std::string>& log, std::string name, int32_t result = 0, bool restart = false,
              int32_t finish = 0)
      : log_(log), name_(std::move(name)), result_(result), restart_(restart), finish_(finish) {}
  int32_t Do() override {
    log_.push_back("do " + name_);
    return result_;
  }
  void Rollback() override { log_.push_back("undo " + name_); }
  int32_t Finish() override {
    log_.push_back("finish " + name_);
    return finish_;
  }
  bool RestartNeeded() const override { return restart_; }
  std::wstring Name() const override { return std::wstring(name_.begin(), name_.end()); }

 private:
  std::vector<std::string>& log_;
  std::string name_;
  int32_t result_;
  bool restart_;
  int32_t finish_;
};

constexpr int32_t kFailure = static_cast<int32_t>(0x80070020u);

TEST(StepList, FailureStopsTheListAndUndoesWhatRanLastFirstIncludingTheFailedStep) {
  std::vector<std::string> log;
  StepList list;
  list.Add(std::make_unique<LoggingStep>(log, "a"));
  list.Add(std::make_unique<LoggingStep>(log, "b", kFailure));
  list.Add(std::make_unique<LoggingStep>(log, "c"));
  EXPECT_EQ(list.Do(), kFailure);
  EXPECT_FALSE(list.Rollback());
  EXPECT_FALSE(list.Rollback());  // once only
  EXPECT_EQ(list.Finish(), hresult::kOk);  // nothing ran any more
  EXPECT_EQ(log, (std::vector<std::string>{"do a", "do b", "undo b", "undo a"}));
}

TEST(StepList, CancellationBeforeAStepAbortsAndUndoesOnlyWhatRan) {
  std::vector<std::string> log;
  StepList list;
  list.Add(std::make_unique<LoggingStep>(log, "a"));
  list.Add(std::make_unique<LoggingStep>(log, "b"));
  int asked = 0;
  EXPECT_EQ(list.Do([&] { return ++asked == 2; }), hresult::kAbort);
  list.Rollback();
  EXPECT_EQ(log, (std::vector<std::string>{"do a", "undo a"}));
}

TEST(StepList, StepsAddedLaterRunAfterThoseThatRanAndFinishGoesOnAfterAFailure) {
  std::vector<std::string> log;
  StepList list;
  std::vector<std::pair<std::wstring, int32_t>> seen;
  list.SetObserver([&](const std::wstring& name, int32_t result) { seen.emplace_back(name, result); });
  list.Add(std::make_unique<LoggingStep>(log, "a", 0, false, kFailure));
  EXPECT_EQ(list.Do(), hresult::kOk);
  list.Add(std::make_unique<LoggingStep>(log, "b", 1));  // a non-negative result is a success
  EXPECT_EQ(list.Do(), hresult::kOk);
  EXPECT_EQ(list.Finish(), kFailure);
  EXPECT_EQ(log, (std::vector<std::string>{"do a", "do b", "finish a", "finish b"}));
  EXPECT_EQ(seen, (std::vector<std::pair<std::wstring, int32_t>>{{L"a", 0}, {L"b", 1}}));
}

TEST(StepList, RollbackReportsAStepThatLeftWorkForTheNextRestart) {
  std::vector<std::string> log;
  StepList list;
  list.Add(std::make_unique<LoggingStep>(log, "a", 0, true));
  list.Add(std::make_unique<LoggingStep>(log, "b", kFailure));
  EXPECT_EQ(list.Do(), kFailure);
  EXPECT_TRUE(list.Rollback());
}

}  // namespace
