#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "testing/ManualClock.h"

namespace {

using namespace std::chrono_literals;
using plat::Clock;
using testing_support::ManualClock;

TEST(ClockTest, ManualTimeMovesOnlyWithAdvance) {
    ManualClock manual;
    Clock::SetWallTime(1400000000);
    const Clock::TimePoint start = Clock::Now();
    const std::time_t wallStart = Clock::WallNow();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(Clock::Now(), start);
    EXPECT_EQ(Clock::WallNow(), wallStart);

    Clock::Advance(1500ms);
    EXPECT_EQ(Clock::Now() - start, 1500ms);
    EXPECT_EQ(Clock::WallNow(), wallStart + 1);
    Clock::Advance(500ms);
    EXPECT_EQ(Clock::WallNow(), wallStart + 2);
}

TEST(ClockTest, WallTimeCanBeSetAndReadAsLocalTime) {
    ManualClock manual;
    std::tm noon{};
    noon.tm_year = 114;
    noon.tm_mon = 8;
    noon.tm_mday = 3;
    noon.tm_hour = 9;
    noon.tm_min = 40;
    noon.tm_isdst = -1;
    const Clock::TimePoint before = Clock::Now();
    Clock::SetWallTime(std::mktime(&noon));
    EXPECT_EQ(Clock::Now(), before);

    std::tm local = Clock::LocalNow();
    EXPECT_EQ(local.tm_year, 114);
    EXPECT_EQ(local.tm_mday, 3);
    EXPECT_EQ(local.tm_hour, 9);
    EXPECT_EQ(local.tm_min, 40);
    Clock::Advance(20min);
    EXPECT_EQ(Clock::LocalNow().tm_hour, 10);
}

TEST(ClockTest, LeavingManualModeNeverRunsBackwards) {
    Clock::TimePoint ahead;
    {
        ManualClock manual;
        Clock::Advance(1h);
        ahead = Clock::Now();
    }
    EXPECT_FALSE(Clock::IsManual());
    EXPECT_GE(Clock::Now(), ahead);
}

TEST(ClockTest, SleepEndsWhenTheClockPassesItsEnd) {
    ManualClock manual;
    std::atomic<bool> bDone{false};
    std::thread sleeper([&bDone] {
        plat::Sleep(1000);
        bDone = true;
    });
    ManualClock::AdvanceWhenWaiting(1, 999ms);
    EXPECT_FALSE(bDone);
    Clock::Advance(1ms);
    sleeper.join();
    EXPECT_TRUE(bDone);
}

TEST(ClockTest, RealSleepLastsAtLeastItsTime) {
    const Clock::TimePoint start = Clock::Now();
    plat::Sleep(30);
    EXPECT_GE(Clock::Now() - start, 30ms);
}

TEST(ClockTest, AdvanceIsIgnoredInRealMode) {
    const Clock::TimePoint start = Clock::Now();
    Clock::Advance(24h);
    EXPECT_LT(Clock::Now() - start, 1h);
}

}  // namespace
