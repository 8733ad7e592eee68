#pragma once
// In place of an I/O completion port for DirectoryWatch: one thread waits on it and gets back,
// one at a time, either a key that some thread posted or the key of an associated watch that
// has events to read. Keys are the caller's numbers (the watcher uses its per-folder records).
//
// Post may be called from any thread; Associate and Dissociate from any thread that owns the
// watch at that moment; GetQueuedCompletion from the one waiting thread.

#include <cstdint>
#include <deque>
#include <mutex>

#include "platform/DirectoryWatch.h"

namespace plat {

class WatchPort {
  public:
    WatchPort() = default;
    ~WatchPort();
    WatchPort(const WatchPort&) = delete;
    WatchPort& operator=(const WatchPort&) = delete;

    // 0, ERROR_TOO_MANY_OPEN_FILES or ERROR_NOT_ENOUGH_MEMORY.
    DWORD Open();

    // From now on the watch's key comes back whenever the watch has events to read, until the
    // watch is dissociated or closed. 0 or a Win32 error.
    DWORD Associate(const DirectoryWatch& watch, std::uintptr_t key);
    void Dissociate(const DirectoryWatch& watch);

    // Queues key for the waiting thread (first posted, first returned). False when the port
    // is not open.
    bool Post(std::uintptr_t key);

    // Blocks until a key was posted (bPosted true) or an associated watch has events (bPosted
    // false). Returns false only when the port is broken.
    bool GetQueuedCompletion(std::uintptr_t& key, bool& bPosted);

  private:
    int m_epoll = -1;
    int m_wake = -1;  // eventfd counting the posted keys
    std::mutex m_lock;
    std::deque<std::uintptr_t> m_posted;  // guarded by m_lock
};

}  // namespace plat
