#pragma once
// The task builder: decides when tasks are built and builds them. Its sources are the disk
// monitor's batches, the offline comparison of disk, local file table and service listing, and
// the server watch, which starts that comparison every 30 seconds and on request. Every task
// goes to the task callback (the control object's ProcNotifyTask) and from there through the
// filter chain into the syncing task queue.
//
// Held deletions: a comparison whose deletions the mass-deletion guard held back reports them
// to the desktop client (MSG_DELETIONS_HELD); once the client confirms them
// (MSG_RELEASE_DELETIONS) the next comparison lets through those of them that it finds again,
// and only those.
//
// Threads: the task builder manager thread runs init, Resume, the pause and network reactions
// and the confirmation; the server watch thread runs its comparisons; the disk monitor's
// handler thread runs the batch callback and the comparison requests. One comparison runs at a
// time (m_csOffline, which also guards the held and confirmed deletions). The task callback is
// installed by the control thread under m_csCallback. m_bDiskWatching is the manager thread's.

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "common/SyncRecords.h"
#include "engine/DiskMonitor.h"
#include "engine/OfflineComparison.h"
#include "engine/ServerWatch.h"

class CTaskBuilder {
  public:
    // Takes the tasks and the batch flag: 1 for an offline comparison, 0 for the disk monitor.
    using TaskCallback = std::function<void(std::vector<TComand>, int)>;

    // How often the queue is looked at while the builder waits for it to drain.
    static constexpr std::uint32_t kQueuePollMs = 200;

    // Becomes the process's task builder.
    CTaskBuilder();
    // Ends the server watch and the disk monitor's handler thread; no longer the task builder.
    ~CTaskBuilder();
    CTaskBuilder(const CTaskBuilder&) = delete;
    CTaskBuilder& operator=(const CTaskBuilder&) = delete;

    // The process's task builder, or null.
    static CTaskBuilder* Get();

    void SetTaskCallback(TaskCallback fnTask);

    // The disk monitor's batch: ids from the local file table for all but additions, status
    // FIND, then the task callback with flag 0.
    static void ONDirectionChangeArray(std::vector<TComand> batch);
    // The disk monitor asks for a comparison that notifications cannot replace (lost events,
    // unwatched folders, a replaced sync directory, files written): it runs at once, or once
    // the queue has drained (MSYNC_FLAG_DISKCAUSE_SYNC) while tasks are being transferred.
    // Dropped while paused or while the service is not reachable: the comparison that follows
    // the resume covers it.
    static void ONDiskOfflineSync(unsigned int uCauses);
    // One complete offline comparison, its tasks to the task callback with flag 1; on failure
    // a FIND status falls back to IDLE. Does nothing without a task builder.
    static void ONOfflineSync();
    // The task list of one comparison: 0, 1001 without a task builder, or the comparison's
    // failure (1001, 1002, the listing's code).
    static int GetOffLineTask(std::vector<TComand>& tasks);

    // After a resume or the service coming back: waits for the queue to drain, runs a
    // comparison (unless MSYNC_FLAG_WAIT30S_SYNC leaves it to the next tick), waits again,
    // then lets the watchers run (started if init left them unstarted). 0; 1 when a pause or
    // the end of the thread cut it short (the watchers are not started then).
    int Resume();
    // Installs the callbacks and starts the server watch thread and the disk monitor.
    void StartWatch();
    // Pause and network loss: the 30-second comparison stops and the disk is not watched.
    void HoldWatch();
    // Engine shutdown: ends the server watch thread and the disk monitor's handler thread.
    void EndWatch();

    // Waits (kQueuePollMs polls on plat::Clock) until the queue is empty: true then; false,
    // with pauseLine logged when the pause cut it short, or when RequestEnd was called.
    bool WaitForQueue(const char* function, const char* pauseLine);
    // Makes every queue wait return at once; set before the manager thread is told to end.
    void RequestEnd();
    bool IsEnding() const { return m_bEnd.load(); }

    // The client confirmed the held deletions: the next comparison lets them through; it is
    // started at once on the server watch thread. Nothing when none were held.
    void ReleaseHeldDeletions();

    // Comparisons begun and ended since the start, in order (one runs at a time), and the
    // result of the last one ended (0 or the comparison's failure): a front end that asked
    // for a comparison knows from them when one begun after its request has ended.
    unsigned ComparisonsBegun() const { return m_uBegun.load(); }
    unsigned ComparisonsEnded() const { return m_uEnded.load(); }
    int LastComparisonResult() const { return m_iLastResult.load(); }
    // Deletions the last comparison held back for a confirmation.
    unsigned HeldDeletions() const { return m_uHeld.load(); }

    CServerWatch& ServerWatch() { return m_serverWatch; }
    CDiskMonitor& DiskMonitor() { return m_diskMonitor; }

  private:
    using DeletionKey = std::tuple<int, int, std::wstring, int>;
    static DeletionKey KeyOf(const TComand& task);

    void OfflineSync();
    // The confirmed held deletions found again go into tasks (local ones first, as the
    // comparison orders them); the rest stay held and are reported. m_csOffline held.
    void ApplyHold(std::vector<TComand>& tasks);
    void CallTaskCallback(std::vector<TComand> tasks, int bFlag);
    void StartDiskMonitor();

    COfflineComparison m_comparison;
    CServerWatch m_serverWatch;
    CDiskMonitor m_diskMonitor;

    std::mutex m_csCallback;
    TaskCallback m_fnTask;  // guarded by m_csCallback

    std::mutex m_csOffline;
    std::vector<TComand> m_held;        // guarded by m_csOffline
    std::set<DeletionKey> m_confirmed;  // guarded by m_csOffline

    std::atomic<unsigned> m_uBegun{0};  // written under m_csOffline
    std::atomic<unsigned> m_uEnded{0};  // written under m_csOffline, after m_iLastResult
    std::atomic<int> m_iLastResult{0};
    std::atomic<unsigned> m_uHeld{0};  // m_held's size, written under m_csOffline

    std::atomic<bool> m_bEnd{false};
    const plat::EventPtr m_hEnd = plat::CreateEvent(true, false);  // set with m_bEnd
    bool m_bDiskWatching = false;
};
