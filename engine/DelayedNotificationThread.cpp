#include "engine/DelayedNotificationThread.h"

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "common/AfLog.h"
#include "engine/DelayedDirectoryChangeHandler.h"

namespace {

// State shared by every instance. A thread that ended itself (the last instance was destroyed
// on it) is joined by the next start or, at the latest, when the process ends.
struct SharedThread {
    std::mutex lock;
    long lInstances = 0;  // guarded by lock
    std::thread thread;   // guarded by lock
    std::atomic<plat::DWORD> dwThreadId{0};

    ~SharedThread() {
        if (thread.joinable()) {
            thread.join();
        }
    }
};

SharedThread& Shared() {
    static SharedThread shared;
    return shared;
}

void RunNotificationThread(std::promise<plat::DWORD> started) {
    plat::EnsureMessageQueue();
    started.set_value(plat::GetCurrentThreadId());
    plat::MSG msg;
    while (plat::GetMessage(&msg) > 0) {
        if (msg.message == CDelayedNotificationThread::UWM_DELAYED_DIRECTORY_NOTIFICATION) {
            CDelayedDirectoryChangeHandler::DispatchAndFree(
                reinterpret_cast<CDirChangeNotification*>(msg.lParam));
        }
    }
}

}  // namespace

CDelayedNotificationThread::CDelayedNotificationThread() {
    SharedThread& shared = Shared();
    std::lock_guard<std::mutex> guard(shared.lock);
    if (shared.lInstances == 0) {
        if (shared.thread.joinable()) {
            shared.thread.join();
        }
        std::promise<plat::DWORD> started;
        std::future<plat::DWORD> threadId = started.get_future();
        shared.thread = std::thread(RunNotificationThread, std::move(started));
        shared.dwThreadId = threadId.get();
    }
    ++shared.lInstances;
    m_dwThreadId = shared.dwThreadId;
}

CDelayedNotificationThread::~CDelayedNotificationThread() {
    SharedThread& shared = Shared();
    std::lock_guard<std::mutex> guard(shared.lock);
    if (--shared.lInstances > 0) {
        return;
    }
    plat::PostThreadMessage(m_dwThreadId, plat::WM_QUIT, 0, 0);
    if (plat::GetCurrentThreadId() != m_dwThreadId) {
        shared.thread.join();
    }
    shared.dwThreadId = 0;
}

void CDelayedNotificationThread::PostNotification(CDirChangeNotification* pNotification) {
    if (!plat::PostThreadMessage(m_dwThreadId, UWM_DELAYED_DIRECTORY_NOTIFICATION, 0,
                                 reinterpret_cast<plat::LPARAM>(pNotification))) {
        AfLog(4, __FILE_NAME__, "CDelayedNotificationThread::PostNotification", __LINE__,
              "notification of kind %d lost: the notification thread takes no messages",
              pNotification->iKind);
        CDelayedDirectoryChangeHandler::Discard(pNotification);
    }
}

plat::DWORD CDelayedNotificationThread::GetThreadId() {
    return Shared().dwThreadId;
}
