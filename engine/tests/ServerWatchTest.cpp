// The server watch thread on the manual clock: the 30-second comparison gated by the enabled
// word and the status store, the event's comparison that runs either way, and WM_QUIT ending
// the thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include "engine/ServerWatch.h"
#include "store/SyncStatus.h"
#include "testing/LogText.h"
#include "testing/ManualClock.h"
#include "testing/TempHome.h"
#include "testing/WaitUntil.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ManualClock;
using testing_support::WaitUntil;

class ServerWatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CSyncStatus* status = CSyncStatus::Get();
        status->SetFlag(MSYNC_FLAG_PAUSE, false);
        status->SetFlag(MSYNC_FLAG_DISKCAUSE_SYNC, false);
        status->SetFlag(MSYNC_FLAG_WAIT30S_SYNC, false);
        status->SetFlag(MSYNC_FLAG_NETSERVICE, true);
        status->SetStatus(MSYNC_STATE_IDLE, 1, OPEA_FLAG_QUIET);
        watch.SetCallback([this] { ++comparisons; });
        ASSERT_EQ(watch.Start(), 0);
    }

    // Moves the clock once the watch waits, then lets it settle.
    void Advance(std::chrono::milliseconds d) {
        ASSERT_TRUE(plat::Clock::WaitForTimedWaiters(1));
        plat::Clock::Advance(d);
        ASSERT_TRUE(plat::Clock::WaitForTimedWaiters(1));
    }

    testing_support::TempHome home;
    ManualClock clock;
    std::atomic<int> comparisons{0};
    CServerWatch watch;
};

TEST_F(ServerWatchTest, TickComparesEveryThirtySecondsWhenDueAndEnabled) {
    struct Row {
        const char* why;
        bool enabled;
        SYNC_FLAG flag;  // set for the row; MSYNC_FLAG_FILE4G changes nothing here
        bool flagValue;
        int expected;
    };
    const Row rows[] = {
        {"enabled and due", true, MSYNC_FLAG_FILE4G, false, 1},
        {"disabled (paused or no service)", false, MSYNC_FLAG_FILE4G, false, 0},
        {"service not reachable", true, MSYNC_FLAG_NETSERVICE, false, 0},
        {"a disk-caused sync is pending", true, MSYNC_FLAG_DISKCAUSE_SYNC, true, 0},
        {"paused", true, MSYNC_FLAG_PAUSE, true, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        watch.SetEnabled(row.enabled);
        CSyncStatus::Get()->SetFlag(row.flag, row.flagValue);
        const int before = comparisons.load();
        Advance(29s);
        EXPECT_EQ(comparisons.load(), before) << "before the tick";
        Advance(1s);
        EXPECT_EQ(comparisons.load(), before + row.expected);
        CSyncStatus::Get()->SetFlag(MSYNC_FLAG_PAUSE, false);
        CSyncStatus::Get()->SetFlag(MSYNC_FLAG_DISKCAUSE_SYNC, false);
        CSyncStatus::Get()->SetFlag(MSYNC_FLAG_NETSERVICE, true);
    }
}

TEST_F(ServerWatchTest, TickEndsTheWaitForTheThirtySecondSync) {
    CSyncStatus::Get()->SetFlag(MSYNC_FLAG_WAIT30S_SYNC, true);
    Advance(30s);
    EXPECT_EQ(comparisons.load(), 1);
    EXPECT_EQ(CSyncStatus::Get()->GetFlag(MSYNC_FLAG_WAIT30S_SYNC), 0);
    const std::string log = testing_support::LogText(home.path());
    EXPECT_NE(log.find("30S offline task begin"), std::string::npos);
    EXPECT_NE(log.find("30S offline  task end"), std::string::npos);
}

TEST_F(ServerWatchTest, EventComparesAtOnceEvenWhenDisabledAndSignalsMerge) {
    watch.SetEnabled(false);
    watch.StartServerSync();
    EXPECT_TRUE(WaitUntil([this] { return comparisons.load() == 1; }));
    // Signals that come before the thread wakes give one comparison.
    watch.SetCallback([this] {
        ++comparisons;
        plat::Sleep(1000);
    });
    watch.StartServerSync();
    ASSERT_TRUE(WaitUntil([this] { return comparisons.load() == 2; }));
    watch.StartServerSync();
    watch.StartServerSync();
    Advance(1s);
    EXPECT_TRUE(WaitUntil([this] { return comparisons.load() == 3; }));
    Advance(1s);
    EXPECT_EQ(comparisons.load(), 3);
    const std::string log = testing_support::LogText(home.path());
    EXPECT_NE(log.find("Disk Cause offline task begin"), std::string::npos);
    EXPECT_NE(log.find("Disk Cause offline  task end"), std::string::npos);
}

TEST_F(ServerWatchTest, QuitEndsTheThread) {
    ASSERT_TRUE(plat::PostThreadMessage(watch.GetThreadId(), MSG_THREAD_START, 0, 0));
    ASSERT_TRUE(plat::PostThreadMessage(watch.GetThreadId(), plat::WM_QUIT, 0, 0));
    // 0: the thread ended by itself, not at the end of the wait.
    EXPECT_EQ(watch.Stop(), 0);
    EXPECT_EQ(comparisons.load(), 0);
}

}  // namespace
