#include "platform/Window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/Paths.h"
#include "platform/SyncObjects.h"
#include "testing/ChildProcess.h"
#include "testing/ManualClock.h"
#include "testing/TempHome.h"

namespace {

using namespace plat;
using namespace std::chrono_literals;
using testing_support::ChildProcess;

constexpr UINT MSG_ADD = WM_USER + 10;     // procedure returns wParam + lParam
constexpr UINT MSG_RECORD = WM_USER + 11;  // procedure reports the message to the parent
constexpr UINT MSG_EXIT = WM_USER + 12;    // procedure ends the loop, returns 1
const std::wstring kTitle = L"Ostrand";

LRESULT ChildProcedure(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case MSG_ADD:
            return static_cast<LRESULT>(wParam) + lParam;
        case MSG_RECORD:
            PostThreadMessage(testing_support::ParentThread(), MSG_RECORD, wParam, lParam);
            return 0;
        case MSG_EXIT:
            PostQuitMessage(0);
            return 1;
    }
    return 0;
}

// Child: the window and its loop, like the engine's main thread.
TEST(WindowChild, DISABLED_Serve) {
    HWND hwnd = CreateWindow(kTitle, ChildProcedure);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(testing_support::TellParentReady());
    MSG msg;
    while (GetMessage(&msg) > 0) {
        DispatchMessage(&msg);
    }
}

// Child: a window whose thread never looks at its queue.
TEST(WindowChild, DISABLED_Hang) {
    ASSERT_NE(CreateWindow(kTitle, ChildProcedure), nullptr);
    ASSERT_TRUE(testing_support::TellParentReady());
    WaitForSingleObject(CreateEvent(false, false), INFINITE);
}

// A thread of this process that owns a window and runs its loop; the procedure records
// every call.
class WindowThread {
  public:
    explicit WindowThread(const std::wstring& title) {
        auto ready = CreateEvent(true, false);
        m_thread = std::thread([this, title, ready] {
            m_hwnd = CreateWindow(title, [this](HWND, UINT message, WPARAM wParam, LPARAM) {
                m_calls.push_back(message);
                return message == MSG_ADD ? static_cast<LRESULT>(wParam) * 2 : 0;
            });
            SetEvent(ready);
            MSG msg;
            while (m_hwnd != nullptr && GetMessage(&msg) > 0) {
                if (msg.message == MSG_EXIT) {
                    DestroyWindow(m_hwnd);
                    break;
                }
                DispatchMessage(&msg);
            }
        });
        WaitForSingleObject(ready, INFINITE);
    }
    ~WindowThread() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;

    HWND Hwnd() const { return m_hwnd; }
    // Read after the thread has ended.
    const std::vector<UINT>& Calls() const { return m_calls; }
    void Join() { m_thread.join(); }

  private:
    std::thread m_thread;
    std::atomic<HWND> m_hwnd{nullptr};
    std::vector<UINT> m_calls;
};

class WindowTest : public ::testing::Test {
  protected:
    testing_support::TempHome home;
};

TEST_F(WindowTest, LocalWindowIsFoundPostedToAndSentTo) {
    WindowThread owner(kTitle);
    ASSERT_NE(owner.Hwnd(), nullptr);
    EXPECT_EQ(FindWindow(kTitle), owner.Hwnd());
    EXPECT_TRUE(IsWindow(owner.Hwnd()));
    EXPECT_EQ(CreateWindow(kTitle, DefWindowProc), nullptr) << "the title is taken";
    EXPECT_EQ(FindWindow(L"Ostrand2"), nullptr);

    EXPECT_EQ(SendMessage(owner.Hwnd(), MSG_ADD, 21, 0), 42);
    EXPECT_TRUE(PostMessage(owner.Hwnd(), MSG_RECORD, 0, 0));
    EXPECT_TRUE(PostMessage(owner.Hwnd(), MSG_EXIT, 0, 0));
    owner.Join();

    EXPECT_EQ(owner.Calls(), (std::vector<UINT>{MSG_ADD, MSG_RECORD, WM_DESTROY}));
    EXPECT_FALSE(IsWindow(owner.Hwnd()));
    EXPECT_EQ(FindWindow(kTitle), nullptr);
    EXPECT_FALSE(PostMessage(owner.Hwnd(), MSG_RECORD, 0, 0));
    LRESULT result = -1;
    EXPECT_FALSE(SendMessageTimeout(owner.Hwnd(), MSG_ADD, 1, 0, 1000, &result));
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(std::filesystem::exists(RuntimeDir() / "window-Ostrand"));
}

TEST_F(WindowTest, OwnerCallsItsProcedureDirectly) {
    std::vector<UINT> calls;
    HWND hwnd = CreateWindow(L"Own", [&calls](HWND self, UINT message, WPARAM wParam, LPARAM) {
        calls.push_back(message);
        if (message == WM_DESTROY) {
            EXPECT_FALSE(DestroyWindow(self)) << "already being destroyed";
        }
        return static_cast<LRESULT>(wParam) + 1;
    });
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(SendMessage(hwnd, MSG_ADD, 1, 0), 2);
    EXPECT_EQ(DispatchMessage(nullptr), 0);
    MSG threadMessage{nullptr, MSG_ADD, 5, 0};
    EXPECT_EQ(DispatchMessage(&threadMessage), 0) << "a thread message has no procedure";
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_EQ(calls, (std::vector<UINT>{MSG_ADD, WM_DESTROY}));
}

TEST_F(WindowTest, OnlyTheOwnerDestroysAndDispatches) {
    WindowThread owner(L"Owned");
    MSG msg{owner.Hwnd(), MSG_ADD, 1, 0};
    EXPECT_EQ(DispatchMessage(&msg), 0);
    EXPECT_FALSE(DestroyWindow(owner.Hwnd()));
    PostMessage(owner.Hwnd(), MSG_EXIT, 0, 0);
    owner.Join();
    EXPECT_EQ(owner.Calls(), std::vector<UINT>{WM_DESTROY});
}

TEST_F(WindowTest, TitlesThatAreNotPlainFileNamesStayInTheRuntimeFolder) {
    const std::wstring titles[] = {L"../escape", L"同步详情2014", L"a/b", L".", L""};
    for (const std::wstring& title : titles) {
        SCOPED_TRACE(&title - titles);
        HWND hwnd = CreateWindow(title, DefWindowProc);
        ASSERT_NE(hwnd, nullptr);
        EXPECT_EQ(FindWindow(title), hwnd);
        EXPECT_TRUE(DestroyWindow(hwnd));
    }
    for (const auto& entry : std::filesystem::directory_iterator(home.path())) {
        EXPECT_EQ(entry.path().filename(), "run") << "nothing made beside the runtime folder";
    }
}

// Runs body with the window of a child process that never looks at its queue.
void WithHungChildWindow(const std::function<void(ChildProcess&, HWND)>& body) {
    testing_support::WithReadyChild("WindowChild.DISABLED_Hang", {},
                                    [&body](ChildProcess& child, WPARAM) {
                                        HWND hwnd = FindWindow(kTitle);
                                        ASSERT_NE(hwnd, nullptr);
                                        body(child, hwnd);
                                    });
}

// SendMessageTimeout on a thread of its own, so the test can act while it waits.
class BackgroundSend {
  public:
    BackgroundSend(HWND hwnd, DWORD timeoutMs)
        : m_thread([this, hwnd, timeoutMs] {
              LRESULT result = -1;
              m_bAnswered = SendMessageTimeout(hwnd, MSG_ADD, 1, 1, timeoutMs, &result);
          }) {}
    ~BackgroundSend() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    BackgroundSend(const BackgroundSend&) = delete;
    BackgroundSend& operator=(const BackgroundSend&) = delete;

    bool Answered() {
        m_thread.join();
        return m_bAnswered;
    }

  private:
    std::atomic<bool> m_bAnswered{true};
    std::thread m_thread;
};

TEST_F(WindowTest, WindowOfAnotherProcessAnswersPostsAndSends) {
    testing_support::WithReadyChild("WindowChild.DISABLED_Serve", {},
                                    [](ChildProcess& child, WPARAM) {
                                        HWND hwnd = FindWindow(kTitle);
                                        ASSERT_NE(hwnd, nullptr);
                                        EXPECT_TRUE(IsWindow(hwnd));
                                        EXPECT_EQ(SendMessage(hwnd, MSG_ADD, 40, 2), 42);
                                        EXPECT_EQ(SendMessage(hwnd, MSG_ADD, 0, -7), -7);

                                        EXPECT_TRUE(PostMessage(hwnd, MSG_RECORD, 7, 8));
                                        MSG msg;
                                        ASSERT_EQ(GetMessage(&msg), 1);
                                        EXPECT_EQ(msg.message, MSG_RECORD);
                                        EXPECT_EQ(msg.wParam, 7u);
                                        EXPECT_EQ(msg.lParam, 8);

                                        EXPECT_EQ(SendMessage(hwnd, MSG_EXIT, 0, 0), 1);
                                        EXPECT_TRUE(child.Succeeded());
                                        EXPECT_FALSE(IsWindow(hwnd));
                                        EXPECT_EQ(FindWindow(kTitle), nullptr);
                                        EXPECT_FALSE(PostMessage(hwnd, MSG_RECORD, 0, 0));
                                    });
}

TEST_F(WindowTest, SendToAHungWindowTimesOutOnTheClock) {
    testing_support::ManualClock clock;
    WithHungChildWindow([](ChildProcess&, HWND hwnd) {
        BackgroundSend send(hwnd, 5000);
        testing_support::ManualClock::AdvanceWhenWaiting(1, 5000ms);
        EXPECT_FALSE(send.Answered());
    });
}

TEST_F(WindowTest, DeadProcessLeavesNoWindowAndSendersReturn) {
    WithHungChildWindow([](ChildProcess& child, HWND hwnd) {
        BackgroundSend send(hwnd, INFINITE);
        child.Kill(SIGKILL);
        child.Wait();
        EXPECT_FALSE(send.Answered()) << "the sender returns when the receiver dies";

        EXPECT_TRUE(std::filesystem::exists(RuntimeDir() / "window-Ostrand"))
            << "a killed process leaves its socket file behind";
        EXPECT_EQ(FindWindow(kTitle), nullptr);
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_FALSE(PostMessage(hwnd, MSG_RECORD, 0, 0));

        HWND mine = CreateWindow(kTitle, DefWindowProc);
        EXPECT_NE(mine, nullptr) << "the leftover is taken over";
        DestroyWindow(mine);
    });
}

}  // namespace
