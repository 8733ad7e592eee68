#include "platform/ThreadMessage.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Paths.h"
#include "platform/SyncObjects.h"
#include "testing/ChildProcess.h"
#include "testing/TempHome.h"

namespace {

using namespace plat;

constexpr UINT MSG_TEST = WM_USER + 1;
constexpr int kBurst = 3000;

DWORD TargetFromEnvironment() {
    return static_cast<DWORD>(std::stoul(getenv("TEST_TARGET")));
}

// A thread that makes its queue, reports its id and then collects messages until WM_QUIT.
class Receiver {
  public:
    Receiver() {
        auto ready = CreateEvent(true, false);
        m_thread = std::thread([this, ready] {
            EnsureMessageQueue();
            m_threadId = GetCurrentThreadId();
            SetEvent(ready);
            MSG msg;
            while (GetMessage(&msg) > 0) {
                m_received.push_back(msg);
            }
            m_quitCode = static_cast<int>(msg.wParam);
        });
        WaitForSingleObject(ready, INFINITE);
    }
    ~Receiver() {
        if (m_thread.joinable()) {
            PostThreadMessage(m_threadId, WM_QUIT, 0, 0);
            m_thread.join();
        }
    }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    DWORD Id() const { return m_threadId; }
    // Only after Join().
    const std::vector<MSG>& Received() const { return m_received; }
    int QuitCode() const { return m_quitCode; }
    void Join() { m_thread.join(); }

  private:
    std::thread m_thread;
    std::atomic<DWORD> m_threadId{0};
    std::vector<MSG> m_received;
    int m_quitCode = -1;
};

class ThreadMessageTest : public ::testing::Test {
  protected:
    testing_support::TempHome home;
};

TEST_F(ThreadMessageTest, ThreadIdsAreKernelIdsAndDifferPerThread) {
    EXPECT_EQ(GetCurrentThreadId(), static_cast<DWORD>(gettid()));
    DWORD other = 0;
    std::thread([&other] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, GetCurrentThreadId());
}

TEST_F(ThreadMessageTest, MessagesArriveInOrderWithTheirParameters) {
    Receiver receiver;
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(PostThreadMessage(receiver.Id(), MSG_TEST + i, i * 2, -i));
    }
    ASSERT_TRUE(PostThreadMessage(receiver.Id(), WM_QUIT, 7, 0));
    receiver.Join();
    ASSERT_EQ(receiver.Received().size(), 100u);
    for (int i = 0; i < 100; ++i) {
        const MSG& msg = receiver.Received()[i];
        EXPECT_EQ(msg.message, MSG_TEST + i);
        EXPECT_EQ(msg.wParam, static_cast<WPARAM>(i * 2));
        EXPECT_EQ(msg.lParam, -i);
        EXPECT_EQ(msg.hwnd, nullptr);
    }
    EXPECT_EQ(receiver.QuitCode(), 7);
}

TEST_F(ThreadMessageTest, PostingFailsWithoutAQueue) {
    std::atomic<DWORD> noQueue{0};
    auto idKnown = CreateEvent(false, false);
    auto mayEnd = CreateEvent(false, false);
    std::thread bare([&] {
        noQueue = GetCurrentThreadId();
        SetEvent(idKnown);
        WaitForSingleObject(mayEnd, INFINITE);
    });
    WaitForSingleObject(idKnown, INFINITE);
    EXPECT_FALSE(PostThreadMessage(noQueue, MSG_TEST, 0, 0)) << "thread that made no queue";
    SetEvent(mayEnd);
    bare.join();

    DWORD ended = 0;
    {
        Receiver receiver;
        ended = receiver.Id();
    }
    EXPECT_FALSE(PostThreadMessage(ended, MSG_TEST, 0, 0)) << "thread that has ended";
    EXPECT_FALSE(PostThreadMessage(0, MSG_TEST, 0, 0)) << "thread id 0";
}

TEST_F(ThreadMessageTest, PostingNeverBlocksAndTheQueueHasNoLimit) {
    EnsureMessageQueue();
    constexpr int kCount = 200000;
    for (int i = 0; i < kCount; ++i) {
        ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), MSG_TEST, i, 0));
    }
    MSG msg;
    for (int i = 0; i < kCount; ++i) {
        ASSERT_TRUE(PeekMessage(&msg, true));
        ASSERT_EQ(msg.wParam, static_cast<WPARAM>(i));
    }
    EXPECT_FALSE(PeekMessage(&msg, true));
}

TEST_F(ThreadMessageTest, PeekLooksWithoutTakingUnlessAskedTo) {
    MSG msg;
    EXPECT_FALSE(PeekMessage(&msg, true)) << "the first call makes an empty queue";
    ASSERT_TRUE(PostThreadMessage(GetCurrentThreadId(), MSG_TEST, 1, 2));
    ASSERT_TRUE(PeekMessage(&msg, false));
    EXPECT_EQ(msg.message, MSG_TEST);
    ASSERT_TRUE(PeekMessage(&msg, true));
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_FALSE(PeekMessage(&msg, false));
}

TEST_F(ThreadMessageTest, PostQuitMessageEndsTheLoopWithTheExitCode) {
    EnsureMessageQueue();
    PostThreadMessage(GetCurrentThreadId(), MSG_TEST, 0, 0);
    PostQuitMessage(3);
    MSG msg;
    EXPECT_EQ(GetMessage(&msg), 1);
    EXPECT_EQ(GetMessage(&msg), 0);
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(ThreadMessageTest, ManyPostersLoseNothing) {
    Receiver receiver;
    constexpr int kPerThread = 5000;
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&receiver, t] {
            for (int i = 0; i < kPerThread; ++i) {
                PostThreadMessage(receiver.Id(), MSG_TEST + t, i, 0);
            }
        });
    }
    for (auto& poster : posters) {
        poster.join();
    }
    PostThreadMessage(receiver.Id(), WM_QUIT, 0, 0);
    receiver.Join();
    std::vector<WPARAM> next(4, 0);
    for (const MSG& msg : receiver.Received()) {
        const UINT t = msg.message - MSG_TEST;
        ASSERT_LT(t, 4u);
        ASSERT_EQ(msg.wParam, next[t]) << "each poster's messages keep their order";
        ++next[t];
    }
    EXPECT_EQ(receiver.Received().size(), 4u * kPerThread);
}

// Child: a burst far beyond what the receiving socket holds, then WM_QUIT, then exit.
TEST(ThreadMessageChild, DISABLED_PostBurst) {
    const DWORD target = TargetFromEnvironment();
    for (int i = 0; i < kBurst; ++i) {
        ASSERT_TRUE(PostThreadMessage(target, MSG_TEST, i, -i));
    }
    ASSERT_TRUE(PostThreadMessage(target, WM_QUIT, 5, 0));
}

// Child: makes a queue, tells the parent its thread id, then waits to be killed.
TEST(ThreadMessageChild, DISABLED_QueueThenHang) {
    EnsureMessageQueue();
    ASSERT_TRUE(testing_support::TellParentReady(GetCurrentThreadId()));
    WaitForSingleObject(CreateEvent(false, false), INFINITE);
}

TEST_F(ThreadMessageTest, PostsFromAnotherProcessArriveInOrder) {
    Receiver receiver;
    testing_support::ChildProcess child("ThreadMessageChild.DISABLED_PostBurst",
                                        {"TEST_TARGET=" + std::to_string(receiver.Id())});
    receiver.Join();
    EXPECT_TRUE(child.Succeeded());
    ASSERT_EQ(receiver.Received().size(), static_cast<std::size_t>(kBurst));
    for (int i = 0; i < kBurst; ++i) {
        const MSG& msg = receiver.Received()[i];
        ASSERT_EQ(msg.message, MSG_TEST);
        ASSERT_EQ(msg.wParam, static_cast<WPARAM>(i));
        ASSERT_EQ(msg.lParam, -i);
    }
    EXPECT_EQ(receiver.QuitCode(), 5);
}

TEST_F(ThreadMessageTest, ThreadOfADeadProcessIsNoTarget) {
    testing_support::WithReadyChild(
        "ThreadMessageChild.DISABLED_QueueThenHang", {},
        [](testing_support::ChildProcess& child, WPARAM readyParam) {
            const auto childThread = static_cast<DWORD>(readyParam);
            EXPECT_TRUE(PostThreadMessage(childThread, MSG_TEST, 0, 0)) << "alive";

            child.Kill(SIGKILL);
            child.Wait();
            EXPECT_TRUE(std::filesystem::exists(plat::RuntimeDir() /
                                                ("thread-" + std::to_string(childThread))))
                << "a killed process leaves its socket file behind";
            EXPECT_FALSE(PostThreadMessage(childThread, MSG_TEST, 0, 0));
        });
}

TEST_F(ThreadMessageTest, BurstToASlowReceiverWaitsInOrderAndIsNotLost) {
    // A receiver that reads nothing until the whole burst has been posted: its socket holds
    // only a few datagrams, the rest must wait in the sending process.
    constexpr DWORD kFakeThread = 4000000000u;
    const std::string path = (plat::RuntimeDir() / ("thread-" + std::to_string(kFakeThread)));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    const timeval limit{30, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));

    constexpr int kCount = 500;
    for (int i = 0; i < kCount; ++i) {
        ASSERT_TRUE(PostThreadMessage(kFakeThread, MSG_TEST, i, 0)) << "posting never fails";
    }
    for (int i = 0; i < kCount; ++i) {
        struct {
            std::uint32_t magic;
            std::uint32_t message;
            std::uint64_t wParam;
            std::int64_t lParam;
        } wire{};
        ASSERT_EQ(::recv(fd, &wire, sizeof(wire), 0), static_cast<ssize_t>(sizeof(wire)));
        ASSERT_EQ(wire.message, MSG_TEST);
        ASSERT_EQ(wire.wParam, static_cast<std::uint64_t>(i));
    }
    ::close(fd);
}

}  // namespace
