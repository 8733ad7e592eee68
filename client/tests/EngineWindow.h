#pragma once
// A window "Ostrand" on a thread of its own, standing in for the engine's window until the
// engine program exists: it records every message it gets and, on MSG_ENGINE_EXIT, destroys
// itself as the engine does when it ends.

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "platform/Window.h"
#include "store/SyncCodes.h"
#include "testing/WaitUntil.h"

namespace testing_support {

struct TEngineMessage {
    plat::UINT message;
    plat::WPARAM wParam;
    plat::LPARAM lParam;
};

class CEngineWindow {
  public:
    CEngineWindow() {
        m_thread = std::thread([this] { Run(); });
        if (!WaitUntil([this] { return m_ready.load(); }, std::chrono::seconds(10))) {
            ADD_FAILURE() << "the window thread did not start";
        }
        if (plat::FindWindow(L"Ostrand") == nullptr) {
            ADD_FAILURE() << "the window Ostrand was not made";
        }
    }
    ~CEngineWindow() {
        plat::PostThreadMessage(m_threadId, plat::WM_QUIT, 0, 0);
        m_thread.join();
    }
    CEngineWindow(const CEngineWindow&) = delete;
    CEngineWindow& operator=(const CEngineWindow&) = delete;

    std::vector<TEngineMessage> Messages() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }
    bool WaitFor(plat::UINT message,
                 std::chrono::milliseconds realTimeout = std::chrono::seconds(10)) {
        return WaitUntil(
            [&] {
                for (const TEngineMessage& m : Messages()) {
                    if (m.message == message) {
                        return true;
                    }
                }
                return false;
            },
            realTimeout);
    }
    TEngineMessage Last(plat::UINT message) {
        TEngineMessage found{0, 0, 0};
        for (const TEngineMessage& m : Messages()) {
            if (m.message == message) {
                found = m;
            }
        }
        return found;
    }

  private:
    void Run() {
        plat::EnsureMessageQueue();
        m_threadId = plat::GetCurrentThreadId();
        plat::HWND window = plat::CreateWindow(
            L"Ostrand",
            [this](plat::HWND hwnd, plat::UINT message, plat::WPARAM w, plat::LPARAM l) {
                if (message == plat::WM_DESTROY) {
                    return plat::LRESULT(0);
                }
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_messages.push_back({message, w, l});
                }
                if (message == MSG_ENGINE_EXIT) {
                    plat::DestroyWindow(hwnd);
                }
                return plat::LRESULT(0);
            });
        m_ready = true;
        if (window == nullptr) {
            return;
        }
        plat::MSG msg;
        while (plat::GetMessage(&msg) > 0) {
            plat::DispatchMessage(&msg);
        }
    }

    std::thread m_thread;
    std::atomic<bool> m_ready{false};
    std::atomic<plat::DWORD> m_threadId{0};
    std::mutex m_mutex;
    std::vector<TEngineMessage> m_messages;
};

}  // namespace testing_support
