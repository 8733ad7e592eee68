#pragma once
// What the sync engine is doing (its status) and under which conditions it works (its flags),
// and the one place that tells the desktop client about it: status changes become
// MSG_SYNC_STATUS thread messages to the client's UI thread.
//
// Threads: the engine's control, builder and watcher threads and the transfer worker. The
// status and flag words are atomics, so GetStatus and GetFlag read them without a lock. The
// changes (SetStatus, SetFlag) hold one lock from the check of the refusal rules to the last
// write, so that two threads cannot interleave a check and a write: a FIND set by the builder
// never overwrites the worker's SYNCING, and the worker's SYNCED is never lost.
//
// The "StopSync" event (named, auto-reset) is signalled on every change of the pause bit, after
// the bit is written, so the waking worker reads the new value.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/SyncObjects.h"
#include "store/SyncCodes.h"

class CSyncStatus {
  public:
    static CSyncStatus* Get();

    // Stores the UI thread and at once posts MSG_SYNC_STATUS (0, 1) to it.
    void SetUIThread(unsigned long threadId);
    SYNC_STATUS GetStatus() const;
    void SetStatus(SYNC_STATUS eStatus, int bFoceSet, OPERATION_SYNC_FLAG eOper);
    void SetFlag(SYNC_FLAG eFlag, bool bSet);
    // 1 when the bit is set; 0 for a position outside 0 to 6.
    int GetFlag(SYNC_FLAG eFlag) const;
    // The whole flag word.
    int GetFlag() const;
    // Posts msg with wParam and the current status to the UI thread; lParam is only logged.
    void PostMsg(MSGCODE msg, unsigned wParam, long lParam);

    // May an offline sync caused by a disk change start now? Then the disk-cause bit.
    int IsDiskCauseSync();
    // May the 30-second offline sync start now?
    int IsStart30OfflineSync();
    // 0 when paused, else the service-reachable bit.
    int IsResumeSync();

    plat::EventPtr GetSyncHandle() const { return m_hStop; }

  protected:
    // The pause ended: the queue is cleared and the client told the status again.
    void ResumeUIStatus();

  private:
    CSyncStatus();
    void SetStatusLocked(int eStatus, int bFoceSet, int eOper);
    void SetIdle(std::uint32_t flags, bool tell, int eOper);
    void SetFind(int eStatus, std::uint32_t flags, bool tell, int eOper);
    void SetSyncing(bool tell, int eOper);
    void SetSynced(std::uint32_t flags, bool tell, int eOper);
    // True (after the flag's side effects) when the bit itself is to be written.
    bool FlagSideEffects(int eFlag, bool bSet);
    void WriteBit(int eFlag, bool bSet);
    void ClearBits(std::uint32_t mask);
    bool Bit(int eFlag) const;
    void PostStatus(std::uintptr_t wParam, int status);
    void LogRefused(int eStatus, int bFoceSet, int eOper);
    // Logs the state and, when an offline sync may not start now, the reason: true then.
    bool QueryRefused(const char* function, bool diskCauseQuery);

    std::atomic<int> m_eStatus{MSYNC_STATE_IDLE};
    plat::EventPtr m_hStop;
    std::atomic<plat::DWORD> m_dwUIThread{0};
    std::atomic<std::uint32_t> m_uFlags{0};
    std::mutex m_mutex;
};
