#pragma once
// Left clicks on the tray icon open the sync directory at most once per second: a click counts
// when more than 1000 ms (on the process clock) have passed since the previous one, counted or
// not. Any thread; m_mutex guards the last click.

#include <mutex>
#include <optional>

#include "platform/Clock.h"

class CClickDebounce {
  public:
    // Records the click; true when it should act.
    bool Click();

  private:
    std::mutex m_mutex;
    std::optional<plat::Clock::TimePoint> m_last;
};
