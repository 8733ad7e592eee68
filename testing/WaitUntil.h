#pragma once
// Waits in real time for a condition that another thread or process makes true, for the
// states no event announces (a counter of a running transfer, a line in the log).

#include <chrono>
#include <thread>

namespace testing_support {

// Polls condition; false after realTimeout.
template <typename Condition>
bool WaitUntil(Condition condition,
               std::chrono::milliseconds realTimeout = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + realTimeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace testing_support
