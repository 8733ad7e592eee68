#include "platform/ThreadMessage.h"

#include <unistd.h>

#include <unordered_map>

#include "platform/MessageQueue.h"
#include "platform/SyncObjects.h"

namespace plat {

namespace detail {

namespace {

// Never destroyed: threads may still end while the process exits.
std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>>& Queues() {
    static auto* queues = new std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>>;
    return *queues;
}

// Owns the calling thread's queue; its destructor, run when the thread ends, removes it.
class QueueHolder {
  public:
    QueueHolder() : m_queue(std::make_shared<ThreadQueue>(GetCurrentThreadId())) {
        std::lock_guard<std::mutex> lock(KernelLock());
        Queues()[m_queue->threadId] = m_queue;
    }
    ~QueueHolder() {
        std::lock_guard<std::mutex> lock(KernelLock());
        Queues().erase(m_queue->threadId);
    }
    QueueHolder(const QueueHolder&) = delete;
    QueueHolder& operator=(const QueueHolder&) = delete;

    ThreadQueue& Queue() { return *m_queue; }

  private:
    std::shared_ptr<ThreadQueue> m_queue;
};

}  // namespace

std::shared_ptr<ThreadQueue> FindQueue(DWORD threadId) {
    auto it = Queues().find(threadId);
    return it == Queues().end() ? nullptr : it->second;
}

ThreadQueue& CurrentQueue() {
    thread_local QueueHolder holder;
    return holder.Queue();
}

void Enqueue(ThreadQueue& queue, const MSG& msg) {
    queue.posted.push_back(msg);
    queue.NotifyWaiters();
}

}  // namespace detail

DWORD GetCurrentThreadId() {
    thread_local const DWORD id = static_cast<DWORD>(::gettid());
    return id;
}

void EnsureMessageQueue() {
    detail::CurrentQueue();
}

bool PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::mutex> lock(detail::KernelLock());
    std::shared_ptr<detail::ThreadQueue> queue = detail::FindQueue(threadId);
    if (!queue) {
        return false;
    }
    detail::Enqueue(*queue, MSG{nullptr, message, wParam, lParam});
    return true;
}

int GetMessage(MSG* msg) {
    if (msg == nullptr) {
        return -1;
    }
    detail::ThreadQueue& queue = detail::CurrentQueue();
    std::unique_lock<std::mutex> lock(detail::KernelLock());
    detail::BlockUntil(lock, {&queue}, INFINITE, [&queue] { return queue.IsSignaled(); });
    *msg = queue.posted.front();
    queue.posted.pop_front();
    return msg->message == WM_QUIT ? 0 : 1;
}

bool PeekMessage(MSG* msg, bool remove) {
    if (msg == nullptr) {
        return false;
    }
    detail::ThreadQueue& queue = detail::CurrentQueue();
    std::lock_guard<std::mutex> lock(detail::KernelLock());
    if (queue.posted.empty()) {
        return false;
    }
    *msg = queue.posted.front();
    if (remove) {
        queue.posted.pop_front();
    }
    return true;
}

void PostQuitMessage(int exitCode) {
    detail::ThreadQueue& queue = detail::CurrentQueue();
    std::lock_guard<std::mutex> lock(detail::KernelLock());
    detail::Enqueue(queue, MSG{nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0});
}

}  // namespace plat
