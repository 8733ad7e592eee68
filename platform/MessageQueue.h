#pragma once
// Inside the platform layer only: the message queue of one thread, the process-wide table
// that finds it by thread id, and what the window code and the queue code ask of each other.

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/KernelWait.h"
#include "platform/ThreadMessage.h"

namespace plat::detail {

// A message sent (not posted) to a window; its sender waits for the reply.
struct SentMessage {
    MSG msg;
    // Called once, without KernelLock, with whether a procedure answered and its result.
    std::function<void(bool handled, LRESULT result)> reply;
};

// Guarded by KernelLock. Sent messages are handled before posted ones, inside the owner's
// GetMessage and PeekMessage, as on Windows.
struct ThreadQueue : Signalable {
    explicit ThreadQueue(DWORD id) : threadId(id) {}
    bool IsSignaled() const override { return !posted.empty() || !sent.empty(); }

    DWORD threadId;
    std::deque<MSG> posted;
    std::deque<SentMessage> sent;
};

// The queue of that thread of this process, or null. KernelLock held.
std::shared_ptr<ThreadQueue> FindQueue(DWORD threadId);

// The calling thread's queue, created on first use and removed when the thread ends.
// KernelLock not held.
ThreadQueue& CurrentQueue();

// Appends the message and wakes the owner. KernelLock held.
void Enqueue(ThreadQueue& queue, const MSG& msg);

// Calls the procedure of msg.hwnd when that is a live window of the calling thread; false
// otherwise. KernelLock not held.
bool CallWindowProcedure(const MSG& msg, LRESULT* result);

// Forgets the windows of a thread that ends, without calling their procedures; sent messages
// still waiting for them are moved to orphans. KernelLock held.
void DestroyThreadWindows(DWORD threadId, std::vector<SentMessage>& orphans);

}  // namespace plat::detail
