#include "control/portable/bounded_wait.h"

#include <gtest/gtest.h>

namespace {

class SimulatedClock : public WaitClock {
 public:
  explicit SimulatedClock(uint32_t start) : now_(start) {}
  uint32_t Now() override { return now_; }
  void SleepFor(uint32_t ms) override {
    now_ += ms;
    slept_ += ms;
  }
  uint32_t slept() const { return slept_; }

 private:
  uint32_t now_;
  uint32_t slept_ = 0;
};

TEST(BoundedWait, EndsAtTheFirstCheckThatSeesIt) {
  SimulatedClock clock(1000);
  int checks = 0;
  // The program is gone after 300 ms: the wait ends at the next check, not after the 5 s.
  EXPECT_TRUE(WaitUntil(clock, [&] { ++checks; return clock.Now() >= 1300; }, 5000, 100));
  EXPECT_EQ(clock.slept(), 300u);
  EXPECT_EQ(checks, 4);
  // Already there: no sleep at all.
  SimulatedClock idle(0);
  EXPECT_TRUE(WaitUntil(idle, [] { return true; }, 2000, 100));
  EXPECT_EQ(idle.slept(), 0u);
}

TEST(BoundedWait, NeverWaitsLongerThanTheMaximumAndChecksAtItsEnd) {
  for (uint32_t start : {0u, 0xFFFFFF00u}) {  // also across the tick count's wrap
    SimulatedClock clock(start);
    int checks = 0;
    EXPECT_FALSE(WaitUntil(clock, [&] { ++checks; return false; }, 60000, 250)) << start;
    EXPECT_EQ(clock.slept(), 60000u) << start;
    EXPECT_EQ(checks, 241) << start;  // once at the start and after every sleep
  }
  // An interval that does not divide the maximum is cut short at the end.
  SimulatedClock clock(0);
  bool lastCheckAtTheEnd = false;
  EXPECT_FALSE(WaitUntil(clock, [&] { lastCheckAtTheEnd = clock.Now() == 5000; return false; }, 5000, 300));
  EXPECT_EQ(clock.slept(), 5000u);
  EXPECT_TRUE(lastCheckAtTheEnd);
  // Something that happens exactly at the maximum still counts.
  SimulatedClock edge(0);
  EXPECT_TRUE(WaitUntil(edge, [&] { return edge.Now() >= 5000; }, 5000, 300));
}

}  // namespace
