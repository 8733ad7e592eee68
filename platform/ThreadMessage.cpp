#include "platform/ThreadMessage.h"

#include <unistd.h>

#include <string>
#include <unordered_map>

#include "platform/MessagePump.h"
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

std::filesystem::path ThreadEndpointPath(DWORD threadId) {
    return NamedObjectPath("thread", std::to_string(threadId));
}

// Owns the calling thread's queue and the socket through which other processes post to it;
// its destructor, run when the thread ends, removes both.
class QueueHolder {
  public:
    QueueHolder();
    ~QueueHolder();
    QueueHolder(const QueueHolder&) = delete;
    QueueHolder& operator=(const QueueHolder&) = delete;

    ThreadQueue& Queue() { return *m_queue; }

  private:
    std::shared_ptr<ThreadQueue> m_queue;
    std::filesystem::path m_socketPath;
    EndpointId m_endpoint = 0;
};

// Thread ids are unique on the machine while the thread lives, so a socket file of this
// thread's name can only be the leftover of a process that died.
UniqueFd BindThreadSocket(const std::filesystem::path& path) {
    UniqueFd fd = BindDatagram(path);
    if (!fd.Valid() && errno == EADDRINUSE) {
        ::unlink(path.c_str());
        fd = BindDatagram(path);
    }
    return fd;
}

QueueHolder::QueueHolder()
    : m_queue(std::make_shared<ThreadQueue>(GetCurrentThreadId())),
      m_socketPath(ThreadEndpointPath(m_queue->threadId)) {
    UniqueFd socket = m_socketPath.empty() ? UniqueFd() : BindThreadSocket(m_socketPath);
    std::lock_guard<std::mutex> lock(KernelLock());
    Queues()[m_queue->threadId] = m_queue;
    if (!socket.Valid()) {
        m_socketPath.clear();
        return;
    }
    m_endpoint =
        AddEndpoint(std::move(socket), [queue = m_queue](const WireMessage& wire, UniqueFd) {
            if (wire.magic == kWirePost) {
                Enqueue(*queue, MSG{nullptr, wire.message, wire.wParam, wire.lParam});
            }
        });
}

QueueHolder::~QueueHolder() {
    std::vector<SentMessage> orphans;
    {
        std::lock_guard<std::mutex> lock(KernelLock());
        Queues().erase(m_queue->threadId);
        DestroyThreadWindows(m_queue->threadId, orphans);
        if (!m_socketPath.empty()) {
            ::unlink(m_socketPath.c_str());
            RemoveEndpoint(m_endpoint);
        }
        for (SentMessage& sent : m_queue->sent) {
            orphans.push_back(std::move(sent));
        }
        m_queue->sent.clear();
    }
    for (SentMessage& orphan : orphans) {
        orphan.reply(false, 0);
    }
}

// Handles one waiting sent message with the lock released around the procedure call.
void HandleSentMessage(std::unique_lock<std::mutex>& lock, ThreadQueue& queue) {
    SentMessage sent = std::move(queue.sent.front());
    queue.sent.pop_front();
    lock.unlock();
    LRESULT result = 0;
    const bool bHandled = CallWindowProcedure(sent.msg, &result);
    sent.reply(bHandled, result);
    lock.lock();
}

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
    {
        std::lock_guard<std::mutex> lock(detail::KernelLock());
        if (std::shared_ptr<detail::ThreadQueue> queue = detail::FindQueue(threadId)) {
            detail::Enqueue(*queue, MSG{nullptr, message, wParam, lParam});
            return true;
        }
    }
    // Not a thread of this process: perhaps one of another process.
    const std::filesystem::path path = detail::ThreadEndpointPath(threadId);
    std::lock_guard<std::mutex> lock(detail::KernelLock());
    return detail::PostWire(path, {detail::kWirePost, message, wParam, lParam});
}

int GetMessage(MSG* msg) {
    if (msg == nullptr) {
        return -1;
    }
    detail::ThreadQueue& queue = detail::CurrentQueue();
    std::unique_lock<std::mutex> lock(detail::KernelLock());
    for (;;) {
        detail::BlockUntil(lock, {&queue}, INFINITE, [&queue] { return queue.IsSignaled(); });
        if (!queue.sent.empty()) {
            detail::HandleSentMessage(lock, queue);
            continue;
        }
        *msg = queue.posted.front();
        queue.posted.pop_front();
        return msg->message == WM_QUIT ? 0 : 1;
    }
}

bool PeekMessage(MSG* msg, bool remove) {
    if (msg == nullptr) {
        return false;
    }
    detail::ThreadQueue& queue = detail::CurrentQueue();
    std::unique_lock<std::mutex> lock(detail::KernelLock());
    while (!queue.sent.empty()) {
        detail::HandleSentMessage(lock, queue);
    }
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
