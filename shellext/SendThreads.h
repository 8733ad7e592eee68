#pragma once
// The copy threads of this process. Every send runs on a thread of its own that carries its
// own source and target, so two quick sends never mix their items. The file manager never
// waits for them; corvena-send and the module's shutdown do (WaitAll), so that no copy is cut
// off half-way by the process or the module going.
//
// Any thread may start or wait; m_lock guards the thread list and the failure count. The one
// instance lives as long as the process.

#include <functional>
#include <list>
#include <mutex>
#include <thread>

class CSendThreads {
  public:
    static CSendThreads& Instance();

    // Runs job on a new thread; job returns true when its send succeeded. Threads that have
    // ended are joined here, so the list stays short.
    void Start(std::function<bool()> job);
    // Waits for every thread started so far. Returns how many of their sends failed since the
    // last WaitAll.
    int WaitAll();

  private:
    struct SThread {
        std::thread thread;
        bool bDone = false;
    };

    CSendThreads() = default;
    void JoinEnded();

    std::mutex m_lock;
    std::list<SThread> m_threads;
    int m_iFailed = 0;
};
