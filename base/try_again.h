// A change after the point of no return that failed is tried again at once:
// the product is new by then, and what is left undone (a record, a service
// left stopped) would make it neither old nor new. Most such failures pass
// (a scanner or an indexer holding a file or key for a moment).
#pragma once
#include <functional>

constexpr int kTryAgainAttempts = 3;
constexpr unsigned long kTryAgainPauseMs = 500;

// Runs `attempt` until it returns true, at most kTryAgainAttempts times,
// kTryAgainPauseMs apart; its last answer.
bool TryAgainWhileFailing(const std::function<bool()>& attempt);
