#pragma once
// The base of every long-lived worker of the engine: an object that owns one thread and runs
// its Run() body on it, most often a thread-message loop that ends on WM_QUIT.
//
// An object is never destroyed while a thread of it runs: Stop joins a thread that ended, and
// one that does not end in time is kept (reported, still owned) and joined later, at the
// latest by the destructor, which waits for it. The destructor runs after the derived class's
// members are gone, so a derived class whose Run uses them ends its thread in its own
// destructor (its owner's, for the transfer classes).
//
// Start and Stop are called by the owner's thread; other threads read only the thread id, to
// post messages to the thread, and it is atomic for that reason.

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "platform/SyncObjects.h"
#include "platform/ThreadMessage.h"

class CThreadMgr {
  public:
    CThreadMgr();
    // Waits for every thread of the object that still runs (logged), except the calling
    // thread itself, which is left to return on its own.
    virtual ~CThreadMgr();
    CThreadMgr(const CThreadMgr&) = delete;
    CThreadMgr& operator=(const CThreadMgr&) = delete;

    // Waits up to 5000 ms of real time for Run to return (the process clock may be manual and
    // stand still). 0 when the thread ended (or none ran), 1001 when it did not: a thread
    // cannot be ended safely from outside, so it is logged and kept, to be joined once it
    // ends. The id is cleared either way and Start may start a new thread. Called from the
    // thread itself it cannot wait for itself and answers 1001 at once.
    virtual int Stop();

    // The thread body; its result is the thread's exit code.
    virtual int Run() = 0;

    // Starts the thread and returns once its message queue exists, so that a message posted
    // right after Start returns reaches it. 0, or 1001 when no thread could be created or this
    // object's thread is already running.
    int Start();

    plat::DWORD GetThreadId() const { return m_dwThreadId.load(); }

  protected:
    static constexpr std::chrono::milliseconds kStopWait{5000};

    // Stop with a wait of the caller's choosing.
    int StopWithin(std::chrono::milliseconds wait);

  private:
    struct ThreadHandle;

    // Joins the kept threads that have ended.
    void JoinEnded();

    std::unique_ptr<ThreadHandle> m_hThread;
    // Threads that Stop gave up on; joined once they end.
    std::vector<std::unique_ptr<ThreadHandle>> m_kept;
    std::atomic<plat::DWORD> m_dwThreadId{0};
};
