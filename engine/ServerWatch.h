#pragma once
// The server watch: a thread that starts offline comparisons without a local cause, every 30
// seconds when the status store says that one is due, and at once when its "StartServerSync"
// event is signalled (a disk-caused sync has drained, the sync folder list changed, the disk
// monitor asked for one, held deletions were confirmed).
//
// Threads: the server watch thread runs Run and the comparison callback. The task builder
// manager thread writes the enabled word (pause, network loss, resume) and installs the
// callback before the thread starts; the control thread and the disk monitor's handler thread
// signal the event. The enabled word is an atomic; the callback is guarded by m_csCallback.

#include <atomic>
#include <functional>
#include <mutex>

#include "common/ThreadMgr.h"
#include "platform/SyncObjects.h"

class CServerWatch : public CThreadMgr {
  public:
    using OfflineSyncCallback = std::function<void()>;

    // The period of the comparison that runs without a cause, on plat::Clock.
    static constexpr plat::DWORD kTickMs = 30000;

    // Creates the "StartServerSync" event (auto reset, not signalled).
    CServerWatch();
    // Ends the thread if it runs (WM_QUIT, then Stop).
    ~CServerWatch() override;

    void SetCallback(OfflineSyncCallback fnOfflineSync);
    // Gates the 30-second comparison only; the event's comparison runs either way.
    void SetEnabled(bool bEnabled) { m_iEnabled.store(bEnabled ? 1 : 0); }
    bool IsEnabled() const { return m_iEnabled.load() != 0; }
    // Signals "StartServerSync": one comparison as soon as the thread is free (several signals
    // before it wakes give one).
    void StartServerSync() const;

    // Waits for the event, a message or the 30-second tick and runs the comparison that is due.
    // WM_QUIT ends it with 0, so that the engine can end every thread before it exits.
    int Run() override;

  private:
    void RunEventComparison();
    void RunTickComparison();
    void CallComparison();

    std::atomic<int> m_iEnabled{1};
    const plat::EventPtr m_hStartServerSync;
    std::mutex m_csCallback;
    OfflineSyncCallback m_fnOfflineSync;  // guarded by m_csCallback
};
