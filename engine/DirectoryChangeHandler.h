#pragma once
// The receiver of a directory change watcher's notifications. Derive from it and override the
// slots of interest; every slot runs on the process's one notification thread, one call at a
// time, in the order the watcher saw the changes, never on the watcher's I/O thread.
//
// Reference counted: the creator holds the first reference and every watched directory that
// uses the handler holds one more, so a handler lives until the last directory that delivers
// to it has been unwatched. A handler owned by value (a member of its owner) must be unwatched
// before its own destructor runs; the base destructor unwatches as a last resort, but by then
// only the base slots are left.

#include <atomic>
#include <mutex>
#include <string>

#include "platform/ThreadMessage.h"

class CDirectoryChangeWatcher;

// Kinds of notification, as records carry them and AcceptNotification is asked about them.
enum DirChangeKind {
    DIR_CHANGE_ADDED = 1,
    DIR_CHANGE_REMOVED = 2,
    DIR_CHANGE_MODIFIED = 3,
    DIR_CHANGE_RENAMED = 4,
    DIR_CHANGE_READ_ERROR = 5,
    DIR_CHANGE_WATCH_STARTED = 6,
    DIR_CHANGE_WATCH_STOPPED = 7,
};

class CDirectoryChangeHandler {
  public:
    CDirectoryChangeHandler() = default;
    virtual ~CDirectoryChangeHandler();
    CDirectoryChangeHandler(const CDirectoryChangeHandler&) = delete;
    CDirectoryChangeHandler& operator=(const CDirectoryChangeHandler&) = delete;

    long AddRef();
    // Deletes the handler when the count reaches 0.
    long Release();

    // The watched directory whose notification is being delivered; meaningful inside a slot.
    const std::wstring& GetChangedDirectoryName() const { return m_wstrChangedDirectoryName; }

    // Paths are full native paths: the watched directory as it was passed to Watch, "/", and
    // the name below it. Folders are reported like files.
    virtual void FileAdded(const std::wstring& wstrFileName);
    virtual void FileRemoved(const std::wstring& wstrFileName);
    // A rename inside one folder. A move to another folder arrives as FileRemoved followed by
    // FileAdded; a rename that hides a name (gives it a leading ".") as FileRemoved, one that
    // unhides it as FileAdded.
    virtual void FileRenamed(const std::wstring& wstrOldFileName,
                             const std::wstring& wstrNewFileName);
    virtual void FileModified(const std::wstring& wstrFileName);
    // dwError tells what happened:
    //   ERROR_NOTIFY_ENUM_DIR (1022): changes were lost (the kernel's event queue overflowed);
    //     compare the directory with what is known of it. The watch goes on.
    //   ERROR_NOT_ENOUGH_QUOTA (1816): a folder of the tree could not be watched because the
    //     system's limit of watches is reached; changes inside it are not seen until the
    //     directory is watched again. The watch goes on.
    //   ERROR_PATH_NOT_FOUND (3): the watched directory itself was deleted or moved away. The
    //     watch has ended and will not be started again by itself.
    virtual void ReadError(plat::DWORD dwError, const std::wstring& wstrDirectoryName);
    virtual void WatchStarted(plat::DWORD dwError, const std::wstring& wstrDirectoryName);
    virtual void WatchStopped(const std::wstring& wstrDirectoryName);
    // Asked before each notification of kinds 1 to 4; false drops it. wstrFileName2 is empty
    // except for renames.
    virtual bool AcceptNotification(int iKind, const std::wstring& wstrFileName1,
                                    const std::wstring& wstrFileName2);

  private:
    friend class CDirectoryChangeWatcher;
    friend class CDelayedDirectoryChangeHandler;

    // On the notification thread, before each slot call.
    void SetChangedDirectoryName(const std::wstring& wstrDirectoryName);

    // Counts one more directory of pWatcher using this handler. Returns the watcher the
    // handler was attached to before when that is another one (its directories must be
    // unwatched there first), else null.
    CDirectoryChangeWatcher* AttachToWatcher(CDirectoryChangeWatcher* pWatcher);
    // One directory of pWatcher stopped using this handler; at 0 the handler is detached.
    void DetachFromWatcher(CDirectoryChangeWatcher* pWatcher);

    std::atomic<long> m_lRefCnt{1};
    std::wstring m_wstrChangedDirectoryName;  // notification thread only

    std::mutex m_csWatcher;
    CDirectoryChangeWatcher* m_pDirChangeWatcher = nullptr;  // guarded by m_csWatcher
    long m_lWatcherRefCnt = 0;                               // guarded by m_csWatcher
};
