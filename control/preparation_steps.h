// What the update does to the running software before it changes anything,
// as steps that are undone at the end of every run, successful or not: the
// services that were running are started again and the recording
// application is started again when it was asked to close.
#pragma once
#include <memory>
#include <string>

#include "base/portable/step_list.h"

// Notes whether the service runs (Do); starts it again when it did
// (Rollback), tried again when the start fails, as a service left stopped
// leaves the product without it.
class ServiceRestartStep : public Step {
 public:
  explicit ServiceRestartStep(std::wstring service) : service_(std::move(service)) {}
  int32_t Do() override;
  void Rollback() override;
  std::wstring Name() const override { return L"service " + service_; }
  bool WasRunning() const { return wasRunning_; }
  const std::wstring& Service() const { return service_; }
  // The last start's result: a failure when the service is left stopped.
  int32_t StartResult() const { return startResult_; }

 private:
  std::wstring service_;
  bool wasRunning_ = false;
  int32_t startResult_ = 0;
};

// Starts the service, tried again while a start fails (TryAgainWhileFailing);
// the last start's result.
int32_t StartServiceTryingAgain(const wchar_t* service);

// Notes whether the recording application was asked to close before the
// session (Do); starts it again as the signed-in user when it was (Rollback).
class RecorderRelaunchStep : public Step {
 public:
  int32_t Do() override;
  void Rollback() override;
  std::wstring Name() const override { return L"recording application"; }
  bool Pending() const { return pending_; }

 private:
  bool pending_ = false;
};
