#pragma once
// The control object of the engine: reloads the stores, creates the task builder manager, the
// task manager and the transfer manager with their threads, and runs the control thread, which
// wires the threads together on MSG_THREAD_START and turns the desktop client's requests
// (pause, resume, speed limits, settings reloads, network up and down, confirmation of held
// deletions) into status changes and messages for the other threads. It also answers the
// requests of front ends that have no message thread the engine reports to: a comparison now
// with an answer once it and its tasks are done (MSG_SYNC_NOW), and the current state
// (MSG_GET_STATE).
//
// Threads: the main thread constructs and destroys it; the control thread runs Run; the task
// callback ProcNotifyTask runs on the task builder's threads (builder manager, server watch,
// disk monitor handler) and reaches the task manager through the process-wide pointer. The
// managers are created by the constructor and destroyed by the destructor only, after the
// control thread has ended, so the other threads read the pointers without a lock. The UI
// thread id is an atomic. The pending comparison requests are the control thread's own.

#include <atomic>
#include <memory>
#include <vector>

#include "common/SyncRecords.h"
#include "common/ThreadMgr.h"
#include "engine/TaskBuilderManager.h"
#include "engine/TaskManager.h"
#include "platform/Clock.h"
#include "transfer/TransferManager.h"

class CSyncControl : public CThreadMgr {
  public:
    // How long Resume gives the filter rules and the transfer worker before the task builder
    // starts producing tasks.
    static constexpr std::uint32_t kResumeHeadStartMs = 300;
    // How often the control thread looks at pending comparison requests.
    static constexpr plat::DWORD kSyncRequestPollMs = 100;
    // A change made just before a comparison request reaches the disk monitor's batch within
    // this time; the requested comparison waits for it, so that the batch's tasks and the
    // comparison's do not act on the same item side by side.
    static constexpr plat::DWORD kSyncSettleMs = 500;
    // The client's space poll reports the service every 5 s while it is unreachable and once
    // when it answers again. A request made while the service is taken as unreachable waits
    // for that report rather than answering from one made before it (the service may be back
    // since); a client that does not report within this time leaves the older report to stand.
    static constexpr plat::DWORD kOfflineReportWaitMs = 15000;

    // Reloads every store table, takes the service as reachable unless the system table's
    // "NetState" says "0", sets the pause when its "Stop" says "1", then creates and starts the
    // three managers' threads and gives the transfer manager the stored speed limits. When a reload
    // fails nothing is started and GetInitResult tells which code it gave.
    CSyncControl();
    // Ends the control thread, then the managers' threads (the producers first: task builder,
    // task manager, transfer manager), then empties the in-memory tables (the stored queue is
    // kept for the next start).
    ~CSyncControl() override;

    // 0 when the stores were loaded and the threads started; else the failing reload's code
    // (1001 for a reload that only says it failed, or a thread that did not start).
    int GetInitResult() const { return m_iInitResult; }

    // The process's control object, or null.
    static CSyncControl* Get();

    void SetUIThread(plat::DWORD dwThreadId) { m_dwUIThread.store(dwThreadId); }
    plat::DWORD GetUIThread() const { return m_dwUIThread.load(); }

    // The control thread's message loop; on WM_QUIT the managers are told to end, then 0.
    int Run() override;

    // The task callback: a non-empty list goes through the filter chain (on the caller's
    // thread); an empty one turns a FIND status into IDLE.
    static void ProcNotifyTask(std::vector<TComand> tasks, int bFlag);

    // MSG_SETTING_PAUSESYNC: the pause bit, then the pause message to the three managers.
    void Pause();
    // MSG_SETTING_RESUMESYNC: the pause bit cleared, ResumeStatue, the resume message to the
    // task manager and the transfer manager, and kResumeHeadStartMs later to the task builder.
    void Resume();
    // Brings the status in line with the queue after a pause or a network change: SYNCING
    // with tasks (forced, RESUME), SYNCED (forced) with MSG_SYNC_COMPLETE_ALL to the UI
    // thread without.
    void ResumeStatue();

    CTaskBuilderManager* TaskBuilderManager() { return m_pTaskBuilderManager.get(); }
    CTaskManager* TaskManager() { return m_pTaskManager.get(); }
    CTransferManager* TransferManager() { return m_pTransferManager.get(); }

  private:
    static int ReloadStores();
    static void TakeNetState();
    // Gives the transfer manager the limits the client stored ("SetSpeed" "1": "USpeed" and
    // "DSpeed"; else none).
    void TakeSpeedLimits();
    int StartManagers();
    void OnMessage(const plat::MSG& msg);
    void OnThreadStart();
    void OnSyncCompleteAll();
    void OnMaxSpeed(const plat::MSG& msg);
    void OnSyncFolder();
    void OnNetServer(const plat::MSG& msg);
    void PostToUI(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) const;
    void StartServerSync();
    void EndThreads();
    // One message, or (with requests pending) a message or kSyncRequestPollMs: false on
    // WM_QUIT or a broken queue.
    bool NextMessage(plat::MSG& msg);
    void OnSyncNow(const plat::MSG& msg);
    void OnGetState(const plat::MSG& msg) const;
    // Moves each pending request on: it waits kSyncSettleMs, for the queue to drain and the
    // disk monitor's pending notifications to be taken, then for a comparison begun after
    // that (the 30-second sync's while that is awaited), then for the queue to drain again,
    // and is answered. A queue cleared meanwhile did not drain: the request is answered
    // SYNC_DONE_DROPPED as soon as its comparison has ended. A pause answers every request at
    // once; a service taken as unreachable holds them for AnswerOfflineRequests.
    void AdvanceSyncRequests();
    // With the service taken as unreachable: answers SYNC_DONE_OFFLINE each request that a
    // network report has reached since it arrived, or that waited kOfflineReportWaitMs.
    void AnswerOfflineRequests();
    void AnswerSyncRequests(int iResult);

    struct TSyncRequest {
        plat::DWORD dwThread = 0;
        plat::LPARAM iId = 0;
        plat::Clock::TimePoint tArrived{};
        unsigned uNetReports = 0;  // MSG_NET_SERVER reports before it arrived
        unsigned uComparison = 0;  // the comparison that serves it, once started
        unsigned uDropped = 0;     // the queue's dropped-task count when it was started
        int iPhase = 0;            // 0 queue before, 1 comparison, 2 queue after
    };
    std::vector<TSyncRequest> m_syncRequests;
    // MSG_NET_SERVER reports taken so far.
    unsigned m_uNetReports = 0;
    // The answer to a request whose comparison has ended, or -1 while its tasks still run.
    int SyncRequestResult(const TSyncRequest& request) const;
    // Posts MSG_SYNC_DONE with the result to the thread that asked.
    static void AnswerRequest(const TSyncRequest& request, int iResult);

    std::unique_ptr<CTaskBuilderManager> m_pTaskBuilderManager;
    std::unique_ptr<CTaskManager> m_pTaskManager;
    std::unique_ptr<CTransferManager> m_pTransferManager;
    std::atomic<plat::DWORD> m_dwUIThread{0};
    int m_iInitResult = 0;
};
