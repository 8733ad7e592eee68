#pragma once
// Watches directories, each with all its subfolders, and delivers their changes to handlers
// (CDirectoryChangeHandler) on the process's notification thread. One I/O thread serves every
// directory of a watcher: it reads the kernel's events, turns them into records and posts
// them, and goes straight back to reading, so a slow handler never holds it up.
//
// Threads: Watch and the unwatch calls may come from any thread (the engine calls them from
// one), a handler's slots included; but an unwatch waits for the notification thread to
// deliver, so a slot must not wait for a thread that is unwatching. The I/O thread exists from
// the first successful Watch until UnwatchAll. The list of directories is guarded by
// m_csDirWatchInfo, a directory's run state by its own lock.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/ThreadMgr.h"
#include "engine/DirectoryChangeHandler.h"
#include "platform/DirectoryWatch.h"
#include "platform/WatchPort.h"

class CDirectoryChangeWatcher {
  public:
    // Result codes of Watch besides those of the platform layer.
    static constexpr plat::DWORD ERROR_OUTOFMEMORY = 14;
    static constexpr plat::DWORD ERROR_INVALID_PARAMETER = 87;
    static constexpr plat::DWORD ERROR_BAD_PATHNAME = 161;
    static constexpr plat::DWORD ERROR_MAX_THRDS_REACHED = 164;

    CDirectoryChangeWatcher();
    // Unwatches every directory.
    virtual ~CDirectoryChangeWatcher();
    CDirectoryChangeWatcher(const CDirectoryChangeWatcher&) = delete;
    CDirectoryChangeWatcher& operator=(const CDirectoryChangeWatcher&) = delete;

    // Watches wstrDirToWatch and every folder below it for the changes of dwChangesToWatchFor
    // (FILE_NOTIFY_CHANGE_* bits) and delivers them to pChangeHandler, which gains a reference
    // for as long as the directory is watched. A directory already watched is unwatched first;
    // a handler attached to another watcher is unwatched there first. Blocks until the watch
    // runs (WatchStarted is posted). Returns 0, or
    //   87 (ERROR_INVALID_PARAMETER) for an empty path, an empty filter or no handler,
    //   161 (ERROR_BAD_PATHNAME) when the path is not an existing folder (a symbolic link to
    //   one is not followed, as nowhere else in the engine),
    //   14 (ERROR_OUTOFMEMORY), 164 (ERROR_MAX_THRDS_REACHED) when no thread can be started,
    //   or the error of the platform layer for the folder itself (5 access denied, 1816 the
    //   watch limit is reached, 4 no more inotify instances).
    // Nothing stays registered on failure.
    plat::DWORD Watch(const std::wstring& wstrDirToWatch, plat::DWORD dwChangesToWatchFor,
                      CDirectoryChangeHandler* pChangeHandler);

    // Stops watching one directory (the same path as given to Watch; a trailing "/" does not
    // matter). Blocks until every notification of the directory, its WatchStopped last, has
    // been delivered and the handler's reference released, unless called on the notification
    // thread itself. False when it was not watched; a watch that ended by itself (ReadError 3)
    // counts as not watched, and is cleared away by this call.
    bool Unwatch(const std::wstring& wstrDirToStopWatching);
    // Stops every directory that delivers to pChangeHandler. False when there was none.
    bool Unwatch(CDirectoryChangeHandler* pChangeHandler);
    // Stops every directory and ends the I/O thread. False when the thread never ran.
    bool UnwatchAll();

  protected:
    // Called on the I/O thread when it starts and before it ends (which must come promptly:
    // UnwatchAll gives the thread 5 seconds to end).
    virtual void ThreadStarted() {}
    virtual void ThreadEnding() {}

  private:
    class CDirWatchInfo;

    class CIoThread : public CThreadMgr {
      public:
        explicit CIoThread(CDirectoryChangeWatcher& watcher) : m_watcher(watcher) {}
        int Run() override;

      private:
        CDirectoryChangeWatcher& m_watcher;
    };

    plat::DWORD StartIoThread();
    plat::DWORD StartMonitoring(CDirWatchInfo* pInfo);
    // True when the directory was still watched (its watch had not ended by itself).
    bool UnwatchDirectory(std::unique_ptr<CDirWatchInfo> pInfo);
    void StoreInfo(std::unique_ptr<CDirWatchInfo> pInfo);

    // The I/O thread.
    void MonitorDirectoryChanges();
    void HandleRequest(CDirWatchInfo* pInfo);
    void ReadChanges(CDirWatchInfo* pInfo);

    std::mutex m_csWatch;  // one Watch or UnwatchAll at a time
    std::unique_ptr<plat::WatchPort> m_hCompPort;
    CIoThread m_ioThread{*this};

    std::mutex m_csDirWatchInfo;
    // A slot is emptied when its directory is unwatched and reused by the next watch.
    std::vector<std::unique_ptr<CDirWatchInfo>> m_DirectoriesToWatch;  // guarded
};
