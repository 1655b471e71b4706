// What the update does to the running software before it changes anything,
// as steps that are undone at the end of every run, successful or not: the
// services that were running are started again and the recording
// application is started again when it was asked to close.
#pragma once
#include <memory>
#include <string>

#include "base/portable/step_list.h"

// Notes whether the service runs (Do); starts it again when it did (Rollback).
class ServiceRestartStep : public Step {
 public:
  explicit ServiceRestartStep(std::wstring service) : service_(std::move(service)) {}
  int32_t Do() override;
  void Rollback() override;
  std::wstring Name() const override { return L"service " + service_; }
  bool WasRunning() const { return wasRunning_; }
  const std::wstring& Service() const { return service_; }

 private:
  std::wstring service_;
  bool wasRunning_ = false;
};

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
