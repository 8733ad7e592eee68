#pragma once
// The disk monitor's handler: receives the sync directory's change notifications, keeps them
// in a pending list, and on a thread of its own turns them into local-disk tasks (TComand,
// source 1) that it hands over in batches. Notifications of changed content build no task; a
// burst of them, lost notifications and a sync directory that had to be watched again each ask
// for an offline comparison instead, which finds what the notifications cannot tell.
//
// Threads: the notification slots run on the watcher's notification thread and only append to
// the pending list (m_csPending guards it, its count and arrival times, and the comparison
// causes reported by the watcher). Run, the callbacks and the timers belong to the handler
// thread. The callbacks are installed from other threads under m_csCallbacks. Start and Stop of
// the thread are the owner's (the disk monitor's).

#include <atomic>
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/SyncRecords.h"
#include "common/ThreadMgr.h"
#include "engine/DirectoryChangeHandler.h"
#include "platform/Clock.h"
#include "platform/SyncObjects.h"

// Why the disk monitor asks for an offline comparison; bits of one word, since several causes
// can fall into one request.
enum E_DiskOfflineCause : unsigned int {
    DISK_CAUSE_EVENTS_LOST = 0x1,        // the kernel's event queue overflowed
    DISK_CAUSE_FOLDERS_UNWATCHED = 0x2,  // the watch limit left folders unwatched
    DISK_CAUSE_SYNCDIR_REPLACED = 0x4,   // the sync directory was replaced and is watched anew
    DISK_CAUSE_CONTENT_MODIFIED = 0x8,   // files were written (once per burst of writes)
};

class CCallbackDiskM : public CDirectoryChangeHandler, public CThreadMgr {
  public:
    // Takes the batch (never empty) on the handler thread.
    using BatchCallback = std::function<void(std::vector<TComand>)>;
    // Takes the E_DiskOfflineCause bits on the handler thread.
    using OfflineSyncCallback = std::function<void(unsigned int)>;
    // Watches the sync directory again after its watch ended; true when it is watched.
    using RewatchCallback = std::function<bool()>;

    // A batch is handed over once no notification has arrived for this long...
    static constexpr int kBatchQuietMs = 5;
    // ...or this long after its first notification, so that a steady stream still moves.
    static constexpr int kBatchMaxDelayMs = 200;
    // Writes ask for a comparison once they have stopped for this long...
    static constexpr int kModifyQuietMs = 1000;
    // ...or this long after the first write of the burst (a file written without pause).
    static constexpr int kModifyMaxDelayMs = 30000;
    // A sync directory that went away is looked for again at this interval.
    static constexpr int kRewatchRetryMs = 1000;

    // wstrSyncDir: the watched directory, the base of the tasks' relative paths.
    explicit CCallbackDiskM(std::wstring wstrSyncDir);
    // Ends the handler thread (its slots are unwatched by the owner before).
    ~CCallbackDiskM() override;

    void SetBatchCallback(BatchCallback fnBatch);
    void SetOfflineSyncCallback(OfflineSyncCallback fnOfflineSync);
    void SetRewatchCallback(RewatchCallback fnRewatch);

    // While clear, comparison requests are dropped and their timers cancelled (the comparison
    // that follows a resume covers them); pending entries are still turned into a batch.
    void SetWatching(bool bWatching);
    bool IsWatching() const { return m_bWatching.load(); }
    // Entries not yet taken by the handler thread.
    std::size_t GetPendingCount() const;

    void FileAdded(const std::wstring& wstrFileName) override;
    void FileRemoved(const std::wstring& wstrFileName) override;
    void FileRenamed(const std::wstring& wstrOldFileName,
                     const std::wstring& wstrNewFileName) override;
    void FileModified(const std::wstring& wstrFileName) override;
    // Lost events (1022) and unwatched folders (1816) ask for a comparison; the end of the
    // directory's watch (3) makes the handler thread watch it again once it exists, then ask.
    void ReadError(plat::DWORD dwError, const std::wstring& wstrDirectoryName) override;

    // The handler thread: batches, comparison requests and re-watching until Stop.
    int Run() override;
    // Ends the handler thread: 0 when it ended, 1001 when it did not within 5 seconds (a
    // callback that does not return).
    int Stop() override;

  private:
    struct CDiskEntry {
        int iKind;  // an E_Oper value
        std::wstring wstrPath1;
        std::wstring wstrPath2;  // renames only: the new path
    };
    using Clock = plat::Clock;

    void Append(int iKind, const std::wstring& wstrPath1, const std::wstring& wstrPath2 = {});
    // How long the handler thread may sleep before something falls due (INFINITE: nothing).
    plat::DWORD MillisecondsToNextDue();
    // Hands over the batch and the comparison requests that are due.
    void RunDueWork();
    std::list<CDiskEntry> TakeDueEntries(Clock::TimePoint now, unsigned int& uCauses,
                                         bool& bSyncDirGone);
    std::vector<TComand> BuildBatch(const std::list<CDiskEntry>& entries, Clock::TimePoint now);
    unsigned int TakeDueTimers(Clock::TimePoint now);
    void NoteModified(Clock::TimePoint now);

    const std::wstring m_wstrSyncDir;

    mutable std::mutex m_csPending;
    std::list<CDiskEntry> m_pending;     // guarded by m_csPending
    std::size_t m_nPending = 0;          // guarded by m_csPending
    Clock::TimePoint m_tFirstPending{};  // guarded by m_csPending
    Clock::TimePoint m_tLastPending{};   // guarded by m_csPending
    unsigned int m_uReportedCauses = 0;  // guarded by m_csPending
    bool m_bSyncDirGone = false;         // guarded by m_csPending
    const plat::EventPtr m_hWake;        // auto reset; set for the handler thread

    std::mutex m_csCallbacks;
    BatchCallback m_fnBatch;              // guarded by m_csCallbacks
    OfflineSyncCallback m_fnOfflineSync;  // guarded by m_csCallbacks
    RewatchCallback m_fnRewatch;          // guarded by m_csCallbacks

    std::atomic<bool> m_bWatching{false};
    std::atomic<bool> m_bQuit{false};

    // Handler thread only.
    std::optional<Clock::TimePoint> m_tModifyFirst;
    std::optional<Clock::TimePoint> m_tModifyLast;
    std::optional<Clock::TimePoint> m_tRewatchDue;
    bool m_bRewatchLogged = false;
};
