#include "base/portable/outcome.h"

namespace outcome {

ClosingMessage ClosingMessageFor(int32_t sessionResult) {
  for (const SessionOutcome& entry : kSessionOutcomes) {
    if (entry.result == sessionResult) return entry.closing;
  }
  return sessionResult >= 0 ? kCompletedMessage : kFailedMessage;
}

bool AdministratorCheckAllows(bool completed, bool member, uint32_t platformId) {
  if (completed) return member;
  return platformId != kPlatformWin32Nt;
}

}  // namespace outcome
