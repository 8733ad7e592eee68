#pragma once
// The transfer worker: a thread that takes the front task of the syncing task queue, has a
// transfer object carry it out and routes the result to the local file table, the completed
// and fail lists and the desktop client. Every task ends done and recorded, failed and recorded
// with its result code, or still queued (paused, ended, or a transport error being retried).
//
// It wakes on the queue's work signal (and drains the whole queue), on the "StopSync" event
// (it then copies the pause bit of the status into its pause flag) and on its own wake event
// (pause or end requested by the manager). A transport error (1 to 89) or a service busy with
// the same upload (8014) is retried with a delay
// that grows from one second to a minute, measured on plat::Clock; pause and the end request
// cut the delay short and leave the task queued.
//
// Threads: the worker thread runs Run; the manager thread calls Pause, Resume and
// SetParentThead; the owner calls RequestEnd and Stop.

#include <atomic>
#include <memory>
#include <mutex>

#include "common/SyncRecords.h"
#include "common/ThreadMgr.h"
#include "platform/Clock.h"
#include "platform/SyncObjects.h"
#include "transfer/BaseTransfer.h"

class WorkTransfer : public CThreadMgr {
  public:
    WorkTransfer();
    ~WorkTransfer() override = default;

    int Run() override;
    // The thread that receives 2033, 5027 and 5028 (the transfer manager's).
    void SetParentThead(unsigned long threadId) { m_dwReportThread.store(threadId); }
    // Holds the running transfer and stops taking tasks; the task in hand stays queued.
    void Pause();
    // Lets the held transfer go on and gives the work signal when tasks are queued, so that
    // a task the pause left queued runs without waiting for another producer.
    void Resume();
    bool IsPaused() const { return m_bPause.load(); }
    // Makes Run return: at once while waiting, after the transfer in progress otherwise (the
    // task stays queued).
    void RequestEnd();

  private:
    void DoSync();
    // Runs the queue from task (the front) on; false when the loop was left with the task
    // still queued.
    void RunQueue(TComand& task);
    // The transfer object for a task, or null for a content task of an unknown origin.
    static std::unique_ptr<CBaseTransfer> CreateTransfer(const TComand& task);
    // Publishes the object for Pause and Resume; false (nothing published) when paused.
    bool SetCurrent(CBaseTransfer* transfer);
    // Routes a final result, starts the countdown of the echo entries of its file and removes
    // the task from the queue.
    void Finish(TComand& task, int result);
    // A disk task refused because its folder has no row yet does not fail while its folder can
    // still come: it goes behind the folder's creation, or the service's rename of a known
    // folder to its place, when that waits further back in the queue, or leaves the queue
    // when a disk-caused comparison is due, which builds both. True then.
    static bool WaitForFolder(const TComand& task);
    // Records the result, and drops the item's earlier fail entries, which no longer stand.
    void OnTaskSucceeded(TComand& task);
    void OnTaskFailed(TComand& task, int result);
    // A new local folder whose creation the service answered with the id of a folder the
    // table records elsewhere.
    static bool IsMovedFolder(const TComand& task);
    static void UpdateRenamed(TComand& task);
    // Waits the retry delay (then doubles it); false when pause or the end request cut it.
    bool WaitBeforeRetry();
    void TakePauseFlag();
    void Report(unsigned message) const;

    std::atomic<bool> m_bPause{false};
    std::atomic<bool> m_bEnd{false};
    std::atomic<plat::DWORD> m_dwReportThread{0};
    // The transfer object in use, for the manager's Pause and Resume; guarded by the mutex,
    // which also orders the pause flag against publishing it.
    std::mutex m_currentMutex;
    CBaseTransfer* m_pCurrent = nullptr;
    plat::EventPtr m_hWake;
    plat::Clock::Duration m_retryDelay;
};
