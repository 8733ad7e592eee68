#include "platform/WatchPort.h"

#include <errno.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace plat {

namespace {

// The eventfd's key in the epoll set; callers' keys (addresses of their records) never take it.
constexpr std::uint64_t kWakeKey = ~std::uint64_t{0};

DWORD OpenError(int error) {
    return error == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ERROR_TOO_MANY_OPEN_FILES;
}

}  // namespace

WatchPort::~WatchPort() {
    if (m_wake >= 0) {
        close(m_wake);
    }
    if (m_epoll >= 0) {
        close(m_epoll);
    }
}

DWORD WatchPort::Open() {
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    if (m_epoll < 0) {
        return OpenError(errno);
    }
    // Semaphore mode: each read takes one posted key.
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE);
    if (m_wake < 0) {
        return OpenError(errno);
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kWakeKey;
    if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &event) != 0) {
        return OpenError(errno);
    }
    return 0;
}

DWORD WatchPort::Associate(const DirectoryWatch& watch, std::uintptr_t key) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = key;
    if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, watch.Descriptor(), &event) != 0) {
        return errno == ENOMEM || errno == ENOSPC ? ERROR_NOT_ENOUGH_MEMORY : ERROR_GEN_FAILURE;
    }
    return 0;
}

void WatchPort::Dissociate(const DirectoryWatch& watch) {
    epoll_ctl(m_epoll, EPOLL_CTL_DEL, watch.Descriptor(), nullptr);
}

bool WatchPort::Post(std::uintptr_t key) {
    if (m_wake < 0) {
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_posted.push_back(key);
    }
    std::uint64_t one = 1;
    return write(m_wake, &one, sizeof one) == sizeof one;
}

bool WatchPort::GetQueuedCompletion(std::uintptr_t& key, bool& bPosted) {
    for (;;) {
        // One event per call: a watch dissociated after this call can never come back stale.
        epoll_event event{};
        int count = epoll_wait(m_epoll, &event, 1, -1);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return false;
        }
        if (count == 0) {
            continue;
        }
        if (event.data.u64 != kWakeKey) {
            key = static_cast<std::uintptr_t>(event.data.u64);
            bPosted = false;
            return true;
        }
        std::uint64_t value = 0;
        if (read(m_wake, &value, sizeof value) != sizeof value) {
            continue;
        }
        std::lock_guard<std::mutex> guard(m_lock);
        key = m_posted.front();
        m_posted.pop_front();
        bPosted = true;
        return true;
    }
}

}  // namespace plat
