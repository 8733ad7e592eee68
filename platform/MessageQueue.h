#pragma once
// Inside the platform layer only: the message queue of one thread and the process-wide table
// that finds it by thread id.

#include <deque>
#include <memory>

#include "platform/KernelWait.h"
#include "platform/ThreadMessage.h"

namespace plat::detail {

// Guarded by KernelLock.
struct ThreadQueue : Signalable {
    explicit ThreadQueue(DWORD id) : threadId(id) {}
    bool IsSignaled() const override { return !posted.empty(); }

    DWORD threadId;
    std::deque<MSG> posted;
};

// The queue of that thread of this process, or null. KernelLock held.
std::shared_ptr<ThreadQueue> FindQueue(DWORD threadId);

// The calling thread's queue, created on first use and removed when the thread ends.
// KernelLock not held.
ThreadQueue& CurrentQueue();

// Appends the message and wakes the owner. KernelLock held.
void Enqueue(ThreadQueue& queue, const MSG& msg);

}  // namespace plat::detail
