#include "common/ThreadMgr.h"

#include <condition_variable>
#include <mutex>
#include <system_error>

#include "common/AfLog.h"

namespace {

const char* const kLogFile = "ThreadMgr.cpp";

// Set by the thread once Run has returned; waited for in real time.
class CEndSignal {
  public:
    void Set() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bEnded = true;
        m_ended.notify_all();
    }
    bool WaitFor(std::chrono::milliseconds wait) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_ended.wait_for(lock, wait, [this] { return m_bEnded; });
    }
    bool IsSet() { return WaitFor(std::chrono::milliseconds(0)); }

  private:
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_bEnded = false;
};

}  // namespace

// The running thread, its id and the signal its entry sets once Run has returned (shared with
// the thread, which sets it after the handle's owner may have stopped waiting).
struct CThreadMgr::ThreadHandle {
    std::thread thread;
    plat::DWORD dwThreadId = 0;
    std::shared_ptr<CEndSignal> pEnded = std::make_shared<CEndSignal>();
};

CThreadMgr::CThreadMgr() = default;

CThreadMgr::~CThreadMgr() {
    if (m_hThread) {
        m_kept.push_back(std::move(m_hThread));
    }
    for (std::unique_ptr<ThreadHandle>& handle : m_kept) {
        if (handle->thread.get_id() == std::this_thread::get_id()) {
            handle->thread.detach();  // the thread destroys its own object and returns
            continue;
        }
        if (!handle->pEnded->IsSet()) {
            AfLog(4, kLogFile, "CThreadMgr::~CThreadMgr", __LINE__,
                  "Error: thread %u still runs as its object is destroyed; waiting for it to end",
                  handle->dwThreadId);
        }
        handle->thread.join();
    }
}

int CThreadMgr::Start() {
    JoinEnded();
    if (m_hThread) {
        return 1001;
    }
    auto handle = std::make_unique<ThreadHandle>();
    // Two-way: the new thread has its queue before Start returns, and Run sees handle and id
    // already stored.
    plat::EventPtr hQueueReady = plat::CreateEvent(true, false);
    plat::EventPtr hStored = plat::CreateEvent(true, false);
    plat::DWORD dwThreadId = 0;
    try {
        handle->thread =
            std::thread([this, pEnded = handle->pEnded, hQueueReady, hStored, &dwThreadId] {
                plat::EnsureMessageQueue();
                dwThreadId = plat::GetCurrentThreadId();
                plat::SetEvent(hQueueReady);
                plat::WaitForSingleObject(hStored, plat::INFINITE);
                Run();
                pEnded->Set();
            });
    } catch (const std::system_error&) {
        return 1001;
    }
    plat::WaitForSingleObject(hQueueReady, plat::INFINITE);
    handle->dwThreadId = dwThreadId;
    m_dwThreadId = dwThreadId;
    m_hThread = std::move(handle);
    plat::SetEvent(hStored);
    return 0;
}

int CThreadMgr::Stop() {
    return StopWithin(kStopWait);
}

int CThreadMgr::StopWithin(std::chrono::milliseconds wait) {
    JoinEnded();
    if (!m_hThread) {
        return 0;
    }
    const bool bSelf = m_hThread->thread.get_id() == std::this_thread::get_id();
    const bool bEnded = !bSelf && m_hThread->pEnded->WaitFor(wait);
    if (bEnded) {
        m_hThread->thread.join();
    } else {
        if (!bSelf) {
            AfLog(4, kLogFile, "CThreadMgr::Stop", __LINE__,
                  "Error: thread %u did not end within %lld ms; it is kept until it ends",
                  m_hThread->dwThreadId, static_cast<long long>(wait.count()));
        }
        m_kept.push_back(std::move(m_hThread));
    }
    m_hThread.reset();
    m_dwThreadId = 0;
    return bEnded ? 0 : 1001;
}

void CThreadMgr::JoinEnded() {
    std::erase_if(m_kept, [](std::unique_ptr<ThreadHandle>& handle) {
        if (handle->thread.get_id() == std::this_thread::get_id() || !handle->pEnded->IsSet()) {
            return false;
        }
        handle->thread.join();
        return true;
    });
}
