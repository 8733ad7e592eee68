#pragma once
// Rule 7, the last of the chain: hands what the other rules left of a batch to the syncing task
// queue and wakes the transfer worker. It also notes that a disk change needs an offline
// comparison once the queue has drained (MSYNC_FLAG_DISKCAUSE_SYNC), and turns a FIND status
// back to IDLE when nothing of a batch was left to do.
//
// Threads: the producing threads run DoAction; one lock guards the cached batch, so appends
// and releases of two batches never interleave. The batch flag is set by the task manager just
// before the chain runs (under the task manager's own chain lock).

#include <atomic>
#include <mutex>
#include <vector>

#include "engine/BaseSyncRule.h"

class CTaskCache : public CBaseSyncRule {
  public:
    // Appends the batch to the cache; for a disk batch sets MSYNC_FLAG_DISKCAUSE_SYNC when a
    // task comes from the local disk; then pushes the whole cache into the syncing task queue
    // (its table rows included) and releases the work signal, or, with nothing cached, sets a
    // FIND status to IDLE. Level-0 and level-1 lines. 0.
    int DoAction(std::vector<TComand>& batch) override;

    // 1 for the tasks of an offline comparison, 0 for those of the disk monitor.
    void SetBatchFlag(int bFlag) { m_bBatchFlag.store(bFlag != 0); }
    int GetBatchFlag() const { return m_bBatchFlag.load() ? 1 : 0; }

  private:
    void NeedOfflineSyncOnIdle();
    void ReleaseTask();

    std::mutex m_lock;
    std::vector<TComand> m_cache;
    std::atomic<bool> m_bBatchFlag{false};
};
