#include "common/ThreadMgr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "testing/LogText.h"
#include "testing/ManualClock.h"
#include "testing/TempHome.h"
#include "testing/WaitUntil.h"

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
    std::string LogText() const { return testing_support::LogText(home.path()); }

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

// Stop's five seconds are real time: under a manual clock that stands still (as in every test
// of a worker) it must still end.
TEST_F(ThreadMgrTest, ThreadThatWillNotEndIsReportedAfterFiveSecondsOfRealTime) {
    CStubbornThread worker;
    ASSERT_EQ(worker.Start(), 0);
    const plat::DWORD id = worker.GetThreadId();
    plat::PostThreadMessage(id, plat::WM_QUIT, 0, 0);

    std::atomic<int> result{-1};
    const auto start = std::chrono::steady_clock::now();
    std::thread stopper([&] { result = worker.Stop(); });
    const bool bEnded = testing_support::WaitUntil([&] { return result != -1; }, 30s);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (!bEnded) {
        plat::Clock::Advance(5s);  // let a Stop that waits on the process clock go
    }
    stopper.join();
    ASSERT_TRUE(bEnded) << "Stop waited on the manual clock";
    EXPECT_EQ(result, 1001);
    EXPECT_GE(elapsed, 5s);
    EXPECT_EQ(worker.GetThreadId(), 0u);
    EXPECT_NE(LogText().find("Error: thread " + std::to_string(id) +
                             " did not end within 5000 ms; it is kept until it ends"),
              std::string::npos);

    plat::SetEvent(worker.m_hRelease);
    plat::WaitForSingleObject(worker.m_hDone, plat::INFINITE);
}

// Blocks in Run until the test opens its gate. What Run uses lives outside the object, so that
// the object may go while Run waits.
class CGatedThread : public CThreadMgr {
  public:
    CGatedThread(plat::EventPtr hGate, plat::EventPtr hRunning)
        : m_hGate(std::move(hGate)), m_hRunning(std::move(hRunning)) {}
    int Run() override {
        const plat::EventPtr hGate = m_hGate;
        plat::SetEvent(m_hRunning);
        plat::WaitForSingleObject(hGate, plat::INFINITE);
        return 0;
    }
    using CThreadMgr::StopWithin;

  private:
    plat::EventPtr m_hGate;
    plat::EventPtr m_hRunning;
};

// Destroying the object under its running thread would leave the thread on freed memory: the
// destructor waits for the thread, also for one that Stop gave up on.
TEST_F(ThreadMgrTest, AnObjectIsNotDestroyedWhileItsThreadRuns) {
    struct Case {
        const char* why;
        bool bStopFirst;
    };
    const Case cases[] = {{"a thread never stopped", false}, {"a thread Stop gave up on", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        plat::EventPtr hGate = plat::CreateEvent(true, false);
        plat::EventPtr hRunning = plat::CreateEvent(true, false);
        auto* worker = new CGatedThread(hGate, hRunning);
        ASSERT_EQ(worker->Start(), 0);
        const plat::DWORD id = worker->GetThreadId();
        ASSERT_EQ(plat::WaitForSingleObject(hRunning, plat::INFINITE), plat::WAIT_OBJECT_0);
        if (c.bStopFirst) {
            EXPECT_EQ(worker->StopWithin(1ms), 1001);
        }

        std::atomic<bool> bDeleted{false};
        std::thread owner([&] {
            delete worker;
            bDeleted = true;
        });
        const std::string waiting = "Error: thread " + std::to_string(id) +
                                    " still runs as its object is destroyed; waiting for it to end";
        EXPECT_TRUE(testing_support::WaitUntil(
            [&] { return LogText().find(waiting) != std::string::npos; }, 10s));
        EXPECT_FALSE(bDeleted) << "the object went while its thread ran";
        plat::SetEvent(hGate);
        owner.join();
        EXPECT_TRUE(bDeleted);
    }
}

// A new thread may start while the one Stop gave up on still runs; that one is joined once it
// has ended.
TEST_F(ThreadMgrTest, AThreadStopGaveUpOnIsJoinedOnceItEnds) {
    plat::EventPtr hGate = plat::CreateEvent(true, false);
    plat::EventPtr hRunning = plat::CreateEvent(true, false);
    CGatedThread worker(hGate, hRunning);
    ASSERT_EQ(worker.Start(), 0);
    ASSERT_EQ(plat::WaitForSingleObject(hRunning, plat::INFINITE), plat::WAIT_OBJECT_0);
    EXPECT_EQ(worker.StopWithin(1ms), 1001);
    plat::ResetEvent(hRunning);
    ASSERT_EQ(worker.Start(), 0) << "the object may run again";
    ASSERT_EQ(plat::WaitForSingleObject(hRunning, plat::INFINITE), plat::WAIT_OBJECT_0);
    plat::SetEvent(hGate);
    EXPECT_EQ(worker.Stop(), 0);
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
