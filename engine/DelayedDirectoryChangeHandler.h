#pragma once
// Stands between a watcher's I/O thread and the real handler of one watched directory. Its
// slots are called on the I/O thread; each packs its arguments into a record and posts it to
// the process's notification thread, which calls the real handler's slot.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "engine/DelayedNotificationThread.h"
#include "engine/DirectoryChangeHandler.h"

class CDelayedDirectoryChangeHandler;

// One notification on its way to the notification thread. It holds a reference on its delayed
// handler, so the handler outlives every record it posted.
struct CDirChangeNotification {
    CDirChangeNotification(CDelayedDirectoryChangeHandler* pDelayedHandler, int iKind,
                           const std::wstring& wstrFileName1, const std::wstring& wstrFileName2,
                           plat::DWORD dwError);
    ~CDirChangeNotification();
    CDirChangeNotification(const CDirChangeNotification&) = delete;
    CDirChangeNotification& operator=(const CDirChangeNotification&) = delete;

    CDelayedDirectoryChangeHandler* pDelayedHandler;
    int iKind;                   // a DirChangeKind
    std::wstring wstrFileName1;  // the path, the old path of a rename, or the directory
    std::wstring wstrFileName2;  // the new path of a rename
    plat::DWORD dwError;         // kinds 5 and 6
};

class CDelayedDirectoryChangeHandler : public CDirectoryChangeHandler {
  public:
    // Takes a reference on pRealHandler for its whole life. wstrDirectoryName is the watched
    // directory, given to the real handler before each delivery.
    CDelayedDirectoryChangeHandler(CDirectoryChangeHandler* pRealHandler,
                                   const std::wstring& wstrDirectoryName);
    ~CDelayedDirectoryChangeHandler() override;

    CDirectoryChangeHandler* GetRealChangeHandler() const { return m_pRealHandler; }

    void FileAdded(const std::wstring& wstrFileName) override;
    void FileRemoved(const std::wstring& wstrFileName) override;
    void FileRenamed(const std::wstring& wstrOldFileName,
                     const std::wstring& wstrNewFileName) override;
    void FileModified(const std::wstring& wstrFileName) override;
    void ReadError(plat::DWORD dwError, const std::wstring& wstrDirectoryName) override;
    void WatchStarted(plat::DWORD dwError, const std::wstring& wstrDirectoryName) override;
    void WatchStopped(const std::wstring& wstrDirectoryName) override;

    // Blocks until every record posted so far has been delivered and freed, so that no
    // reference on this handler or the real one is left but the caller's. On the notification
    // thread itself it returns at once: the records can only be delivered after the caller
    // has returned.
    void WaitForDelivery();

    // On the notification thread: calls the real handler's slot for the record (kinds 1 to 4
    // only when AcceptNotification agrees), then frees the record. An exception escaping the
    // handler is logged and does not stop later deliveries.
    static void DispatchAndFree(CDirChangeNotification* pNotification);
    // Frees a record that could not be delivered.
    static void Discard(CDirChangeNotification* pNotification);

  private:
    // Records on their way. Shared with the records, so that the last one can say it is done
    // after it has released the handler.
    class CPendingCount {
      public:
        void Add();
        void Done();
        void WaitForNone();

      private:
        std::mutex m_lock;
        std::condition_variable m_none;
        long m_lCount = 0;  // guarded by m_lock
    };

    void PostNotification(int iKind, const std::wstring& wstrFileName1,
                          const std::wstring& wstrFileName2 = {}, plat::DWORD dwError = 0);
    void Dispatch(const CDirChangeNotification& notification);

    CDelayedNotificationThread m_notifier;
    CDirectoryChangeHandler* m_pRealHandler;
    std::wstring m_wstrDirectoryName;
    const std::shared_ptr<CPendingCount> m_pPending;
};
