#pragma once
// Inside the platform layer only: the one lock that guards the state of every event,
// semaphore and message queue of the process, and the blocking wait they all share. A single
// lock lets one thread wait on an event and its queue at once without lost wake-ups; the
// critical sections it guards are a few pointer moves each.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/ThreadMessage.h"

namespace plat::detail {

std::mutex& KernelLock();

// The calling thread while it is blocked in BlockUntil. Guarded by KernelLock.
struct Waiter {
    std::condition_variable cv;
    // Set by Clock::Advance until the woken thread has looked at the clock again.
    bool bRecheckPending = false;
};

// State that threads can block on. Every member is guarded by KernelLock.
class Signalable {
  public:
    virtual ~Signalable() = default;
    virtual bool IsSignaled() const = 0;
    // Takes what a satisfied wait consumes: an auto-reset event's state, a semaphore unit.
    virtual void Consume() {}

    // Wakes the threads blocked on this object so that they look at it again.
    void NotifyWaiters();
    void AddWaiter(Waiter* waiter);
    void RemoveWaiter(Waiter* waiter);

  private:
    std::vector<Waiter*> m_waiters;
};

// Blocks until ready() answers true or timeoutMs (INFINITE: no limit) has passed on
// plat::Clock. lock holds KernelLock on entry and on return; ready() is called with it held.
// The thread wakes when one of objects notifies and when the clock moves. Returns whether
// ready() answered true.
bool BlockUntil(std::unique_lock<std::mutex>& lock, const std::vector<Signalable*>& objects,
                DWORD timeoutMs, const std::function<bool()>& ready);

// Makes every thread blocked with a time-out read the clock again (the clock changed mode or
// moved). With waitForRecheck the call returns only once each of them has done so. Called with
// KernelLock held in lock.
void WakeTimedWaiters(std::unique_lock<std::mutex>& lock, bool waitForRecheck);

// Real-time wait until at least count threads are blocked with a time-out. Lock not held.
bool WaitForTimedWaiters(std::size_t count, std::chrono::milliseconds realTimeout);

}  // namespace plat::detail
