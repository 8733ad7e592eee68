#pragma once
// Turns the changes in the sync directory into local-disk tasks for the task builder. Owns the
// directory change watcher and its handler, CCallbackDiskM, on whose thread the tasks are
// built and the task builder's callbacks are called.
//
// Threads: the task builder's thread installs the callbacks and calls Start and Stop; the
// handler thread watches the directory again when it was replaced. m_csWatch serialises every
// Watch and Unwatch with the handler's watching flag, so that a Stop is never undone.

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "engine/CallbackDiskM.h"
#include "engine/DirectoryChangeWatcher.h"

class CDiskMonitor {
  public:
    using BatchCallback = CCallbackDiskM::BatchCallback;
    using OfflineSyncCallback = CCallbackDiskM::OfflineSyncCallback;

    // Names of files and folders (created, deleted, renamed) and writes to files.
    static constexpr plat::DWORD kNotifyFilter = plat::FILE_NOTIFY_CHANGE_FILE_NAME |
                                                 plat::FILE_NOTIFY_CHANGE_DIR_NAME |
                                                 plat::FILE_NOTIFY_CHANGE_LAST_WRITE;  // 0x13

    // Reads the sync directory ("SyncDir" of the system table) through a connection of its
    // own; it stays empty when it cannot be read, and Start then fails.
    CDiskMonitor();
    // The same with a watcher of a derived class (a test holds its I/O thread with it).
    explicit CDiskMonitor(std::unique_ptr<CDirectoryChangeWatcher> pWatcher);
    // Ends the handler thread, then unwatches.
    virtual ~CDiskMonitor();
    CDiskMonitor(const CDiskMonitor&) = delete;
    CDiskMonitor& operator=(const CDiskMonitor&) = delete;

    // The task builder's two callbacks, both called on the handler thread: fnBatch takes each
    // batch of tasks, fnOfflineSync each request for an offline comparison (E_DiskOfflineCause
    // bits) that notifications cannot replace.
    void SetCallbacks(BatchCallback fnBatch, OfflineSyncCallback fnOfflineSync);

    // Watches the sync directory and starts the handler thread unless it runs. 0, or 1 when
    // the directory cannot be watched or the thread cannot start (logged; nothing is watched).
    int Start();
    // Stops watching; the handler thread keeps running and still hands over what it holds.
    // 0, or 1 when the directory was not watched (its watch had ended by itself; logged).
    int Stop();
    // Ends the handler thread (at engine shutdown, after Stop): 0, or 1001 when it did not end
    // within 5 seconds. A later Start runs it again.
    int EndHandlerThread();

    // The handler thread's id; 0 while it does not run.
    plat::DWORD GetThreadId() const { return m_handler.GetThreadId(); }
    const std::wstring& GetSyncDir() const { return m_wstrSyncDir; }
    // Notifications not yet taken into a batch.
    std::size_t GetPendingCount() const { return m_handler.GetPendingCount(); }

  private:
    static std::wstring ReadSyncDir();
    // On the handler thread, after the directory's watch ended: true when it is watched again.
    bool Rewatch();

    const std::wstring m_wstrSyncDir;
    const std::unique_ptr<CDirectoryChangeWatcher> m_pWatcher;
    CCallbackDiskM m_handler;
    std::mutex m_csWatch;
};
