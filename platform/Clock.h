#pragma once
// The one clock of the process. Every timer of the system (the 30-second server watch, the
// 500 ms watchdog, the 5-second space poll, the hourly log file, speed-limit windows) reads it,
// and every timed wait of the platform layer measures its time-out on it, so a test can switch
// it to manual and advance it instead of sleeping.
//
// Thread-safe: any thread may read it; a test thread advances it.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>

namespace plat {

class Clock {
  public:
    using Duration = std::chrono::milliseconds;
    using TimePoint = std::chrono::time_point<std::chrono::steady_clock, Duration>;

    // Monotonic time for time-outs and intervals.
    static TimePoint Now();
    // Calendar time (seconds since the epoch) for time stamps: log lines, backup names.
    static std::time_t WallNow();
    // Local broken-down time of WallNow().
    static std::tm LocalNow();

    // Manual mode: Now() and WallNow() stand still until Advance() moves them. Timed waits of
    // the platform layer (events, semaphores, queues, Sleep) then end when the manual clock
    // passes their deadline, not when real time does. Meant for tests.
    // Switching to manual starts from the current time; switching back never makes Now() run
    // backwards.
    static void SetManual(bool manual);
    static bool IsManual();
    // Moves both manual times (ignored in real mode). Returns once every thread whose timed wait
    // came due has been released and every other timed waiter is blocked again, so a test can
    // check the effect right after the call.
    static void Advance(Duration d);
    // Sets the manual calendar time (the monotonic time is unaffected).
    static void SetWallTime(std::time_t t);

    // For tests: waits in real time (at most realTimeout) until at least count threads of the
    // process are blocked in a timed wait of the platform layer, so that an Advance() that
    // follows reaches them. Returns false when that did not happen in time.
    static bool WaitForTimedWaiters(std::size_t count,
                                    Duration realTimeout = std::chrono::seconds(10));
};

// Sleeps on the process clock: in manual mode returns once Advance() has moved the clock by
// at least ms.
void Sleep(std::uint32_t ms);

}  // namespace plat
