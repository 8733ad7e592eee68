#pragma once
// The base of the task manager's rules. Each rule may take tasks out of a batch; the task
// manager runs every batch through its rules in key order on the thread that produced it.
//
// Threads: the producing threads (disk monitor, server watch, task builder) run DoAction; the
// task manager thread writes the stop flag on pause and resume; the control thread sets the
// task manager thread id once at start. Both fields are atomics for that reason.

#include <atomic>
#include <vector>

#include "common/SyncRecords.h"
#include "platform/ThreadMessage.h"

// The source file name every line of the rules names in the log.
inline constexpr const char* kLogicSyncLog = "LogicSync.cpp";

class CBaseSyncRule {
  public:
    CBaseSyncRule() = default;
    virtual ~CBaseSyncRule() = default;
    CBaseSyncRule(const CBaseSyncRule&) = delete;
    CBaseSyncRule& operator=(const CBaseSyncRule&) = delete;

    // Takes out of the batch the tasks the rule refuses; the order of the others is kept. The
    // result is not used by the chain (0 when a stopped or failing rule emptied the batch).
    virtual int DoAction(std::vector<TComand>& batch) = 0;
    // Brings the rule's own state to its start value; 0.
    virtual int Init() { return 0; }

    // Set on pause, cleared on resume: while set the rule empties every batch it is given.
    void SetStopFlag(bool bStop) { m_bStop.store(bStop); }
    bool GetStopFlag() const { return m_bStop.load(); }
    // The thread to which a rule posts what the desktop client has to hear of.
    void SetTaskMgrThreadId(plat::DWORD dwThreadId) { m_dwTaskMgrThread.store(dwThreadId); }
    plat::DWORD GetTaskMgrThreadId() const { return m_dwTaskMgrThread.load(); }

  protected:
    // When the stop flag is set: logs "Error::Stop Sync, Do not Sync" at level 6 under the
    // caller's function name, empties the batch and answers true.
    bool StopBatch(std::vector<TComand>& batch, const char* function);

    // Asks refuse about each task from the front, once each and in order (its side effects,
    // such as log lines, follow the batch order), and takes out the tasks it answers true for.
    // The survivors are copy-constructed into a new batch: TComand's assignment leaves the
    // statement text behind, and shifting tasks forward by assignment would lose it.
    template <class Refuse>
    static void RemoveTasks(std::vector<TComand>& batch, Refuse refuse) {
        std::vector<TComand> kept;
        kept.reserve(batch.size());
        for (TComand& task : batch) {
            if (!refuse(task)) {
                kept.push_back(task);
            }
        }
        batch.swap(kept);
    }

  private:
    std::atomic<bool> m_bStop{false};
    std::atomic<plat::DWORD> m_dwTaskMgrThread{0};
};
