#include "common/ThreadMgr.h"

#include <system_error>

namespace {

constexpr int kStopWaitMs = 5000;

}  // namespace

CThreadMgr::~CThreadMgr() {
    if (!m_hThread) {
        return;
    }
    if (plat::WaitForSingleObject(m_hThread->hEnded, 0) == plat::WAIT_OBJECT_0) {
        m_hThread->thread.join();
    } else {
        m_hThread->thread.detach();
    }
}

int CThreadMgr::Start() {
    if (m_hThread) {
        return 1001;
    }
    auto handle = std::make_unique<ThreadHandle>();
    handle->hEnded = plat::CreateEvent(true, false);
    // Two-way: the new thread has its queue before Start returns, and Run sees handle and id
    // already stored.
    plat::EventPtr hQueueReady = plat::CreateEvent(true, false);
    plat::EventPtr hStored = plat::CreateEvent(true, false);
    plat::DWORD dwThreadId = 0;
    try {
        handle->thread =
            std::thread([this, hEnded = handle->hEnded, hQueueReady, hStored, &dwThreadId] {
                plat::EnsureMessageQueue();
                dwThreadId = plat::GetCurrentThreadId();
                plat::SetEvent(hQueueReady);
                plat::WaitForSingleObject(hStored, plat::INFINITE);
                Run();
                plat::SetEvent(hEnded);
            });
    } catch (const std::system_error&) {
        return 1001;
    }
    plat::WaitForSingleObject(hQueueReady, plat::INFINITE);
    m_dwThreadId = dwThreadId;
    m_hThread = std::move(handle);
    plat::SetEvent(hStored);
    return 0;
}

int CThreadMgr::Stop() {
    if (!m_hThread) {
        return 0;
    }
    const bool bEnded =
        m_hThread->thread.get_id() != std::this_thread::get_id() &&
        plat::WaitForSingleObject(m_hThread->hEnded, kStopWaitMs) == plat::WAIT_OBJECT_0;
    if (bEnded) {
        m_hThread->thread.join();
    } else {
        m_hThread->thread.detach();
    }
    m_hThread.reset();
    m_dwThreadId = 0;
    return bEnded ? 0 : 1001;
}
