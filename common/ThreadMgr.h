#pragma once
// The base of every long-lived worker of the engine: an object that owns one thread and runs
// its Run() body on it, most often a thread-message loop that ends on WM_QUIT.
//
// Start and Stop are called by the owner's thread; other threads read only the thread id, to
// post messages to the thread, and it is atomic for that reason.

#include <atomic>
#include <memory>
#include <thread>

#include "platform/SyncObjects.h"
#include "platform/ThreadMessage.h"

class CThreadMgr {
  public:
    CThreadMgr() = default;
    // Does not stop the thread: owners post WM_QUIT and call Stop first where they care. A
    // thread still running is left to run on its own, so it must not use the object any more.
    virtual ~CThreadMgr();
    CThreadMgr(const CThreadMgr&) = delete;
    CThreadMgr& operator=(const CThreadMgr&) = delete;

    // Waits up to 5000 ms (on plat::Clock) for Run to return. 0 when the thread ended (or none
    // ran), 1001 when it did not: a thread cannot be ended safely from outside, so it is left
    // to run detached. Handle and id are cleared either way. Called from the thread itself it
    // cannot wait for itself and answers 1001 at once.
    virtual int Stop();

    // The thread body; its result is the thread's exit code.
    virtual int Run() = 0;

    // Starts the thread and returns once its message queue exists, so that a message posted
    // right after Start returns reaches it. 0, or 1001 when no thread could be created or this
    // object's thread is already running.
    int Start();

    plat::DWORD GetThreadId() const { return m_dwThreadId.load(); }

  protected:
    // The running thread and the event its entry sets once Run has returned.
    struct ThreadHandle {
        std::thread thread;
        plat::EventPtr hEnded;
    };

    std::unique_ptr<ThreadHandle> m_hThread;
    std::atomic<plat::DWORD> m_dwThreadId{0};
};
