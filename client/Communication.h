#pragma once
// The client's message registry and message thread. The engine posts its status to the
// message thread, whose id it got on its command line; the thread hands each message to the
// callbacks registered for its id. Windows of the client register on opening and remove their
// callbacks on closing; client-internal notices (30xx) are dispatched on the raising thread.
//
// Threads: any thread may add listeners and dispatch; the message thread runs MessageThread.
// m_dispatchLock is held by the message thread while one message's callbacks run, and by
// RemoveListener, so a window that closes never has a callback of its own running after
// RemoveListener returns. m_tableMutex guards the two tables; callbacks are called from a
// copy, so a callback may add listeners.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "platform/ThreadMessage.h"

// Client-internal notices.
constexpr unsigned NOTICE_TRAY_PAUSED = 3029;
constexpr unsigned NOTICE_TRAY_RESUMED = 3030;
constexpr unsigned NOTICE_DETAIL_PAUSED = 3031;
constexpr unsigned NOTICE_DETAIL_RESUMED = 3032;
constexpr unsigned NOTICE_OFFLINE = 3033;
constexpr unsigned NOTICE_ONLINE = 3034;
// A message id the engine may post that the client ignores.
constexpr unsigned MSG_IGNORED_12025 = 12025;

class CCommunication {
  public:
    using Callback = std::function<void(std::uint32_t, std::uint32_t)>;
    using Owner = const void*;

    // The one registry of the process, created on first use.
    static CCommunication& Get();

    // Appends the callback to the id's list and records it under the owner.
    void AddListener(unsigned messageId, Callback callback, Owner owner);
    // Removes every callback the owner registered; waits for a dispatch in progress.
    void RemoveListener(Owner owner);
    // Calls the id's callbacks in registration order with (wParam, lParam).
    void Dispatch(unsigned messageId, std::uint32_t wParam, std::uint32_t lParam);

    // Thread body: creates the calling thread's queue, records its id, and hands out messages
    // until WM_QUIT (returns 0). MSG_TASK_COMPLETED reaches its callbacks as (lParam, wParam).
    int MessageThread();
    // Posts WM_QUIT to the message thread; false when it does not run.
    bool StopMessageThread();
    // Id of the message thread's queue; 0 until MessageThread has made it.
    plat::DWORD MessageThreadId() const { return m_messageThreadId.load(); }

    // lParam of the last MSG_SYNC_STATUS handed out.
    int LastSyncState() const { return m_lastSyncState.load(); }
    std::atomic<bool> m_bEngineStarted{false};

  private:
    struct Entry {
        std::uint64_t serial;
        Callback callback;
        Owner owner;
    };
    std::vector<Entry> Listeners(unsigned messageId);

    std::mutex m_dispatchLock;
    std::mutex m_tableMutex;
    std::map<unsigned, std::vector<Entry>> m_listeners;  // guarded by m_tableMutex
    std::map<Owner, std::vector<unsigned>> m_owners;     // guarded by m_tableMutex
    std::uint64_t m_serial = 0;                          // guarded by m_tableMutex
    std::atomic<plat::DWORD> m_messageThreadId{0};
    std::atomic<int> m_lastSyncState{0};
};
