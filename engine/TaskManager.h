#pragma once
// The task manager: owns the chain of rules every batch of tasks passes before it reaches the
// syncing task queue, and runs a thread of its own that passes pause, resume and network
// messages on to the rules and the path-length rule's reports on to the control thread.
//
// Rules by key, in chain order: 0 CSyncRedundancyFilter, 1 CFileMaxPath, 2 CNetworkAbnomal,
// 3 CFileFilter, 4 CFile4GFilter, 5 CNoSyncFolder (off), 6 CSyncFailFile (off), 7 CTaskCache.
//
// Threads: AddTasks runs on the producing threads (disk monitor, server watch, task builder);
// the chain lock makes one batch at a time go through, so the batch flag a producer gives the
// task cache is the one the cache reads for that producer's batch. The task manager thread
// (Run) writes the rules' flags, which are atomics. The rule map is built by the constructor
// and never changed afterwards, so every thread reads it without a lock. The control thread id
// is set by the control thread and read by the task manager thread.

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "common/SyncRecords.h"
#include "common/ThreadMgr.h"
#include "engine/BaseSyncRule.h"

class CTaskManager : public CThreadMgr {
  public:
    static constexpr int kRuleCount = 8;

    // Creates the rules whose enable word is 1.
    CTaskManager();
    // Ends the task manager thread if it runs (WM_QUIT, then Stop), then deletes the rules.
    ~CTaskManager() override;

    // Gives the task cache the batch flag (1 offline comparison, 0 disk monitor) and runs the
    // chain on the batch, which holds the survivors afterwards. 0 without running any rule
    // when MSYNC_FLAG_PAUSE is set (the batch is discarded), else 1.
    int AddTasks(std::vector<TComand>& batch, int bFlag);

    // The thread that hears of MSG_ERR_FILEPATH_TOOLONG.
    void SetControlThreadId(plat::DWORD dwThreadId) { m_dwControlThread.store(dwThreadId); }
    plat::DWORD GetControlThreadId() const { return m_dwControlThread.load(); }
    // Gives every rule the thread it posts its reports to: the task manager thread.
    void SetRuleThreadId(plat::DWORD dwThreadId);

    // The message loop: 4029 and 4030 set and clear every rule's stop flag, 5030 sets the
    // network rule's flag to (lParam == 1), 7029 is posted on with its parameters to the
    // control thread; WM_QUIT ends it with 0.
    int Run() override;

  private:
    static std::unique_ptr<CBaseSyncRule> CreateRule(int key);
    // The rule under the key, or null when it is switched off.
    CBaseSyncRule* Rule(int key) const;
    void OnMessage(const plat::MSG& msg);
    void SetStopFlags(bool bStop);

    std::map<int, std::unique_ptr<CBaseSyncRule>> m_rules;
    const int m_iEnable[kRuleCount] = {1, 1, 1, 1, 1, 0, 0, 1};
    std::atomic<plat::DWORD> m_dwControlThread{0};
    std::mutex m_chainLock;
};
