#pragma once
// The one notification thread of the process. Every watcher hands its notifications to it, so
// handlers are called on this thread only, one call at a time, in the order the notifications
// were posted, and a slow handler never holds up the watcher's I/O thread.
//
// The thread lives while at least one CDelayedNotificationThread exists: the first instance
// starts it, the last one ends it. Each delayed handler holds one instance.

#include "platform/ThreadMessage.h"

struct CDirChangeNotification;

class CDelayedNotifier {
  public:
    virtual ~CDelayedNotifier() = default;
    // Takes the record; it is freed once it has been delivered.
    virtual void PostNotification(CDirChangeNotification* pNotification) = 0;
};

class CDelayedNotificationThread : public CDelayedNotifier {
  public:
    // The thread message that carries one record in lParam.
    static constexpr plat::UINT UWM_DELAYED_DIRECTORY_NOTIFICATION = 0x8400;

    // Starts the shared thread if this is the only instance, and waits until its queue exists.
    // Throws std::runtime_error when the thread cannot be started.
    CDelayedNotificationThread();
    // The last instance posts WM_QUIT to the thread and waits for it to end (unless it is
    // destroyed on that thread itself, which then ends as soon as the current delivery returns).
    ~CDelayedNotificationThread() override;
    CDelayedNotificationThread(const CDelayedNotificationThread&) = delete;
    CDelayedNotificationThread& operator=(const CDelayedNotificationThread&) = delete;

    void PostNotification(CDirChangeNotification* pNotification) override;

    // The id of the shared thread, 0 when it is not running.
    static plat::DWORD GetThreadId();

  private:
    plat::DWORD m_dwThreadId = 0;
};
