#include "engine/DelayedNotificationThread.h"

#include <mutex>
#include <stdexcept>

#include "common/AfLog.h"
#include "common/ThreadMgr.h"
#include "engine/DelayedDirectoryChangeHandler.h"

namespace {

// Delivers the records posted to it until WM_QUIT.
class CNotificationThreadMgr : public CThreadMgr {
  public:
    int Run() override {
        plat::MSG msg;
        while (plat::GetMessage(&msg) > 0) {
            if (msg.message == CDelayedNotificationThread::UWM_DELAYED_DIRECTORY_NOTIFICATION) {
                CDelayedDirectoryChangeHandler::DispatchAndFree(
                    reinterpret_cast<CDirChangeNotification*>(msg.lParam));
            }
        }
        return 0;
    }
};

struct SharedThread {
    std::mutex lock;
    long lInstances = 0;  // guarded by lock
    CNotificationThreadMgr thread;
};

// Never destroyed: a watcher still alive at exit keeps the thread running, and the thread
// base would wait for it at exit.
SharedThread& Shared() {
    static SharedThread* shared = new SharedThread;
    return *shared;
}

}  // namespace

CDelayedNotificationThread::CDelayedNotificationThread() {
    SharedThread& shared = Shared();
    std::lock_guard<std::mutex> guard(shared.lock);
    if (shared.lInstances == 0 && shared.thread.Start() != 0) {
        throw std::runtime_error("the notification thread cannot be started");
    }
    ++shared.lInstances;
    m_dwThreadId = shared.thread.GetThreadId();
}

CDelayedNotificationThread::~CDelayedNotificationThread() {
    SharedThread& shared = Shared();
    std::lock_guard<std::mutex> guard(shared.lock);
    if (--shared.lInstances > 0) {
        return;
    }
    // No record is left (each one keeps an instance alive), so the thread ends at once; on
    // the thread itself Stop leaves it to end after the current delivery.
    plat::PostThreadMessage(m_dwThreadId, plat::WM_QUIT, 0, 0);
    shared.thread.Stop();
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
    return Shared().thread.GetThreadId();
}
