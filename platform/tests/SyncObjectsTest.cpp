#include "platform/SyncObjects.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "testing/ManualClock.h"
#include "testing/TempHome.h"

namespace {

using namespace plat;
using namespace std::chrono_literals;
using testing_support::ManualClock;

class SyncObjectsTest : public ::testing::Test {
  protected:
    testing_support::TempHome home;
    ManualClock clock;
};

TEST_F(SyncObjectsTest, EventResetModes) {
    struct Case {
        const char* why;
        bool bManualReset;
        bool bInitial;
        DWORD firstWait;
        DWORD secondWait;
    };
    const Case cases[] = {
        {"auto-reset, set: one wait passes, the next times out", false, true, WAIT_OBJECT_0,
         WAIT_TIMEOUT},
        {"manual-reset, set: stays set", true, true, WAIT_OBJECT_0, WAIT_OBJECT_0},
        {"not set: times out", false, false, WAIT_TIMEOUT, WAIT_TIMEOUT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EventPtr event = CreateEvent(c.bManualReset, c.bInitial);
        EXPECT_EQ(WaitForSingleObject(event, 0), c.firstWait);
        EXPECT_EQ(WaitForSingleObject(event, 0), c.secondWait);
        ResetEvent(event);
        EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    }
}

TEST_F(SyncObjectsTest, NamedEventsAreOneObjectPerName) {
    EXPECT_EQ(OpenEvent("StopSync"), nullptr);
    EventPtr created = CreateEvent(false, false, "StopSync");
    EventPtr again = CreateEvent(true, true, "StopSync");
    EXPECT_EQ(created, again) << "the creator's mode and state win";
    EXPECT_EQ(OpenEvent("StopSync"), created);
    EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_TIMEOUT);
    SetEvent(OpenEvent("StopSync"));
    EXPECT_EQ(WaitForSingleObject(created, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(created, 0), WAIT_TIMEOUT) << "auto-reset";

    EXPECT_NE(CreateEvent(false, false, "HasSyncFail"), created);
    created.reset();
    again.reset();
    EXPECT_EQ(OpenEvent("StopSync"), nullptr) << "gone with its last holder";
}

TEST_F(SyncObjectsTest, SemaphoreRespectsItsMaximum) {
    SemaphorePtr semaphore = CreateSemaphore(0, 1);
    ASSERT_NE(semaphore, nullptr);
    EXPECT_TRUE(ReleaseSemaphore(semaphore));
    for (int i = 0; i < 10; ++i) {
        EXPECT_FALSE(ReleaseSemaphore(semaphore)) << "beyond the maximum";
    }
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT) << "ten releases were one";

    SemaphorePtr counting = CreateSemaphore(1, 3);
    EXPECT_FALSE(ReleaseSemaphore(counting, 3));
    EXPECT_TRUE(ReleaseSemaphore(counting, 2));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(WaitForSingleObject(counting, 0), WAIT_OBJECT_0);
    }
    EXPECT_EQ(WaitForSingleObject(counting, 0), WAIT_TIMEOUT);

    EXPECT_EQ(CreateSemaphore(2, 1), nullptr);
    EXPECT_EQ(CreateSemaphore(0, 0), nullptr);
    EXPECT_FALSE(ReleaseSemaphore(counting, 0));
}

TEST_F(SyncObjectsTest, TimedWaitEndsWhenTheClockPassesTheDeadline) {
    EventPtr event = CreateEvent(false, false);
    std::atomic<DWORD> result{0xDEAD};
    std::thread waiter([&] { result = WaitForSingleObject(event, 500); });
    ManualClock::AdvanceWhenWaiting(1, 499ms);
    EXPECT_EQ(result, 0xDEADu) << "still waiting one millisecond before its deadline";
    Clock::Advance(1ms);
    waiter.join();
    EXPECT_EQ(result, WAIT_TIMEOUT);
}

TEST_F(SyncObjectsTest, SetEventWakesABlockedWaiter) {
    EventPtr event = CreateEvent(false, false);
    std::atomic<DWORD> result{0xDEAD};
    std::thread waiter([&] { result = WaitForSingleObject(event, INFINITE); });
    SetEvent(event);
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "the waiter consumed it";
}

TEST_F(SyncObjectsTest, AutoResetEventReleasesOneWaiterPerSet) {
    EventPtr event = CreateEvent(false, false);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, 1000) == WAIT_OBJECT_0) {
                ++woken;
            }
        });
    }
    Clock::WaitForTimedWaiters(3);
    SetEvent(event);
    ManualClock::AdvanceWhenWaiting(2, 1000ms);
    for (auto& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(woken, 1);
}

TEST_F(SyncObjectsTest, WaitForMultipleTakesTheFirstSignalledOnly) {
    EventPtr a = CreateEvent(true, false);
    EventPtr b = CreateEvent(false, true);
    SemaphorePtr c = CreateSemaphore(1, 1);
    EXPECT_EQ(WaitForMultipleObjects({a, b, c}, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForSingleObject(c, 0), WAIT_OBJECT_0) << "c was not consumed";
    EXPECT_EQ(WaitForMultipleObjects({a, b, c}, 0), WAIT_TIMEOUT);
    SetEvent(a);
    SetEvent(b);
    EXPECT_EQ(WaitForMultipleObjects({a, b, c}, 0), WAIT_OBJECT_0) << "the lowest index wins";
    EXPECT_EQ(WaitForMultipleObjects({b}, 0), WAIT_OBJECT_0) << "b was left set";
    EXPECT_EQ(WaitForMultipleObjects({}, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects({a, nullptr}, 0), WAIT_FAILED);
}

TEST_F(SyncObjectsTest, MsgWaitSeesTheObjectOrAMessage) {
    EventPtr event = CreateEvent(false, false);
    EXPECT_EQ(MsgWaitForObject(event, 0), WAIT_TIMEOUT);

    PostThreadMessage(GetCurrentThreadId(), WM_USER, 0, 0);
    EXPECT_EQ(MsgWaitForObject(event, 0), WAIT_OBJECT_0 + 1);
    MSG msg;
    EXPECT_TRUE(PeekMessage(&msg, true)) << "the message stays queued";

    SetEvent(event);
    EXPECT_EQ(MsgWaitForObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "consumed";
    EXPECT_EQ(MsgWaitForObject(nullptr, 0), WAIT_TIMEOUT);
}

TEST_F(SyncObjectsTest, MsgWaitWakesForAMessageFromAnotherThread) {
    std::atomic<DWORD> id{0};
    std::atomic<DWORD> result{0xDEAD};
    auto ready = CreateEvent(true, false);
    std::thread waiter([&] {
        EnsureMessageQueue();
        id = GetCurrentThreadId();
        SetEvent(ready);
        result = MsgWaitForObject(CreateEvent(false, false), 60 * 1000);
    });
    WaitForSingleObject(ready, INFINITE);
    Clock::WaitForTimedWaiters(1);
    PostThreadMessage(id, WM_USER, 0, 0);
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0 + 1);
}

TEST_F(SyncObjectsTest, RealTimeWaitTimesOut) {
    Clock::SetManual(false);
    EventPtr event = CreateEvent(false, false);
    const Clock::TimePoint start = Clock::Now();
    EXPECT_EQ(WaitForSingleObject(event, 20), WAIT_TIMEOUT);
    EXPECT_GE(Clock::Now() - start, 20ms);
}

}  // namespace
