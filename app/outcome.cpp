#include "app/outcome.h"

#include "app/hresult.h"

namespace outcome {

ClosingMessage ClosingMessageFor(int32_t sessionResult) {
  if (sessionResult == hresult::kFalse) return {false, 0, kBoxOk, false};
  if (sessionResult >= 0) return {true, kMsgCompleted, kBoxOk, false};
  if (sessionResult == hresult::kAbort) return {true, kMsgCancelled, kBoxOk, false};
  return {true, kMsgFailedWithCode, kBoxIconHand, true};
}

bool AdministratorCheckAllows(bool completed, bool member, uint32_t platformId) {
  if (completed) return member;
  return platformId != kPlatformWin32Nt;
}

}  // namespace outcome
