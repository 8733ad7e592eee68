#include "platform/KernelWait.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/SyncObjects.h"

namespace plat::detail {

namespace {

// Threads blocked with a time-out, which the clock wakes when it changes.
struct TimedWaiters {
    std::vector<Waiter*> list;
    std::condition_variable registered;
    std::condition_variable rechecked;
};

// Never destroyed: threads may still block while the process ends.
TimedWaiters& Timed() {
    static auto* timed = new TimedWaiters;
    return *timed;
}

thread_local Waiter t_waiter;

void Erase(std::vector<Waiter*>& list, Waiter* waiter) {
    list.erase(std::remove(list.begin(), list.end(), waiter), list.end());
}

void ClearRecheck(Waiter& waiter) {
    if (waiter.bRecheckPending) {
        waiter.bRecheckPending = false;
        Timed().rechecked.notify_all();
    }
}

}  // namespace

std::mutex& KernelLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

void Signalable::NotifyWaiters() {
    for (Waiter* waiter : m_waiters) {
        waiter->cv.notify_one();
    }
}

void Signalable::AddWaiter(Waiter* waiter) {
    m_waiters.push_back(waiter);
}

void Signalable::RemoveWaiter(Waiter* waiter) {
    Erase(m_waiters, waiter);
}

bool BlockUntil(std::unique_lock<std::mutex>& lock, const std::vector<Signalable*>& objects,
                DWORD timeoutMs, const std::function<bool()>& ready) {
    if (ready()) {
        return true;
    }
    if (timeoutMs == 0) {
        return false;
    }
    Waiter& self = t_waiter;
    const bool bTimed = timeoutMs != INFINITE;
    const Clock::TimePoint deadline = Clock::Now() + Clock::Duration(timeoutMs);
    for (Signalable* object : objects) {
        object->AddWaiter(&self);
    }
    if (bTimed) {
        Timed().list.push_back(&self);
        Timed().registered.notify_all();
    }
    bool bReady = false;
    for (;;) {
        if (ready()) {
            bReady = true;
            break;
        }
        if (!bTimed) {
            self.cv.wait(lock);
            continue;
        }
        const Clock::TimePoint now = Clock::Now();
        if (now >= deadline) {
            break;
        }
        ClearRecheck(self);
        if (Clock::IsManual()) {
            self.cv.wait(lock);
        } else {
            self.cv.wait_for(lock, deadline - now);
        }
    }
    ClearRecheck(self);
    for (Signalable* object : objects) {
        object->RemoveWaiter(&self);
    }
    if (bTimed) {
        Erase(Timed().list, &self);
    }
    return bReady;
}

void WakeTimedWaiters(std::unique_lock<std::mutex>& lock, bool waitForRecheck) {
    std::vector<Waiter*>& list = Timed().list;
    for (Waiter* waiter : list) {
        waiter->bRecheckPending = waitForRecheck;
        waiter->cv.notify_one();
    }
    if (waitForRecheck) {
        Timed().rechecked.wait(lock, [&list] {
            return std::none_of(list.begin(), list.end(),
                                [](const Waiter* waiter) { return waiter->bRecheckPending; });
        });
    }
}

bool WaitForTimedWaiters(std::size_t count, std::chrono::milliseconds realTimeout) {
    std::unique_lock<std::mutex> lock(KernelLock());
    return Timed().registered.wait_for(lock, realTimeout,
                                       [count] { return Timed().list.size() >= count; });
}

}  // namespace plat::detail
