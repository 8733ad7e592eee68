#pragma once
// Switches plat::Clock to manual for the life of a test, so that timers and timed waits move
// only when the test advances the clock.

#include "platform/Clock.h"

namespace testing_support {

class ManualClock {
  public:
    ManualClock() { plat::Clock::SetManual(true); }
    ~ManualClock() { plat::Clock::SetManual(false); }
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    // Advances once count threads are blocked in timed waits, so the advance reaches them.
    static void AdvanceWhenWaiting(std::size_t count, plat::Clock::Duration d) {
        plat::Clock::WaitForTimedWaiters(count);
        plat::Clock::Advance(d);
    }
};

}  // namespace testing_support
