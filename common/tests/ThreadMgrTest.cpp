#include "common/ThreadMgr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "testing/ManualClock.h"
#include "testing/TempHome.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ManualClock;

constexpr plat::UINT MSG_WORK = plat::WM_USER + 1;

// A message loop that counts MSG_WORK and ends on WM_QUIT.
class CCountingThread : public CThreadMgr {
  public:
    int Run() override {
        plat::MSG msg;
        while (plat::GetMessage(&msg) > 0) {
            if (msg.message == MSG_WORK) {
                ++m_iWork;
            }
        }
        return 0;
    }
    std::atomic<int> m_iWork{0};
};

// A loop that ignores WM_QUIT and ends only when the test lets it.
class CStubbornThread : public CThreadMgr {
  public:
    int Run() override {
        plat::WaitForSingleObject(m_hRelease, plat::INFINITE);
        plat::SetEvent(m_hDone);
        return 1;
    }
    plat::EventPtr m_hRelease = plat::CreateEvent(true, false);
    plat::EventPtr m_hDone = plat::CreateEvent(true, false);
};

class ThreadMgrTest : public ::testing::Test {
  protected:
    testing_support::TempHome home;
    ManualClock clock;
};

TEST_F(ThreadMgrTest, MessagePostedRightAfterStartArrives) {
    for (int i = 0; i < 50; ++i) {
        CCountingThread worker;
        ASSERT_EQ(worker.Start(), 0);
        ASSERT_TRUE(plat::PostThreadMessage(worker.GetThreadId(), MSG_WORK, 0, 0));
        ASSERT_TRUE(plat::PostThreadMessage(worker.GetThreadId(), plat::WM_QUIT, 0, 0));
        ASSERT_EQ(worker.Stop(), 0);
        ASSERT_EQ(worker.m_iWork, 1) << "round " << i;
    }
}

TEST_F(ThreadMgrTest, ThreadIdIsTheNewThreadsAndClearedByStop) {
    CCountingThread worker;
    EXPECT_EQ(worker.GetThreadId(), 0u);
    ASSERT_EQ(worker.Start(), 0);
    const plat::DWORD id = worker.GetThreadId();
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, plat::GetCurrentThreadId());
    EXPECT_EQ(worker.Start(), 1001) << "one thread per object";
    EXPECT_EQ(worker.GetThreadId(), id);

    plat::PostThreadMessage(id, plat::WM_QUIT, 0, 0);
    EXPECT_EQ(worker.Stop(), 0);
    EXPECT_EQ(worker.GetThreadId(), 0u);
    EXPECT_FALSE(plat::PostThreadMessage(id, MSG_WORK, 0, 0)) << "its queue went with it";
    EXPECT_EQ(worker.Stop(), 0) << "nothing left to stop";

    ASSERT_EQ(worker.Start(), 0) << "a stopped object can run again";
    plat::PostThreadMessage(worker.GetThreadId(), plat::WM_QUIT, 0, 0);
    EXPECT_EQ(worker.Stop(), 0);
}

TEST_F(ThreadMgrTest, StopAfterRunReturnedIsImmediate) {
    CStubbornThread worker;
    ASSERT_EQ(worker.Start(), 0);
    plat::SetEvent(worker.m_hRelease);
    plat::WaitForSingleObject(worker.m_hDone, plat::INFINITE);
    // The clock stands still: Stop may not need it to move.
    EXPECT_EQ(worker.Stop(), 0);
    EXPECT_EQ(worker.GetThreadId(), 0u);
}

TEST_F(ThreadMgrTest, ThreadThatWillNotEndIsReportedAfterFiveSeconds) {
    CStubbornThread worker;
    ASSERT_EQ(worker.Start(), 0);
    plat::PostThreadMessage(worker.GetThreadId(), plat::WM_QUIT, 0, 0);

    std::atomic<int> result{-1};
    std::thread stopper([&] { result = worker.Stop(); });
    ManualClock::AdvanceWhenWaiting(1, 4999ms);
    EXPECT_EQ(result, -1) << "still waiting at 4999 ms";
    plat::Clock::Advance(1ms);
    stopper.join();
    EXPECT_EQ(result, 1001);
    EXPECT_EQ(worker.GetThreadId(), 0u);

    // Left running, detached; let it finish before the object goes.
    plat::SetEvent(worker.m_hRelease);
    plat::WaitForSingleObject(worker.m_hDone, plat::INFINITE);
}

// Stops itself from its own body.
class CSelfStoppingThread : public CThreadMgr {
  public:
    int Run() override {
        m_iStopResult = Stop();
        plat::SetEvent(m_hDone);
        return 0;
    }
    std::atomic<int> m_iStopResult{-1};
    plat::EventPtr m_hDone = plat::CreateEvent(true, false);
};

TEST_F(ThreadMgrTest, StopFromTheThreadItselfDoesNotWaitForItself) {
    CSelfStoppingThread worker;
    ASSERT_EQ(worker.Start(), 0);
    plat::WaitForSingleObject(worker.m_hDone, plat::INFINITE);
    EXPECT_EQ(worker.m_iStopResult, 1001);
}

}  // namespace
