#pragma once
// The transfer manager: owns the transfer worker, relays the control messages of the engine to
// it (pause, resume, speed limits) and forwards the worker's reports (2033, 5027, 5028) to its
// parent thread, the engine's control thread. The engine starts the manager's own thread with
// Start (its body is Run) and then gives it the parent with SetParentThead.
//
// Threads: the engine thread constructs, sets the parent and asks for the speeds; the manager
// thread runs the message loop; the worker thread runs the tasks.

#include <atomic>
#include <memory>

#include "common/ThreadMgr.h"
#include "transfer/WorkTransfer.h"

class CTransferManager : public CThreadMgr {
  public:
    // Creates the worker and starts its thread.
    CTransferManager();
    // Ends the manager's thread if it runs, then the worker's (after the transfer in progress),
    // and destroys the worker. When either thread does not end within the thread base's
    // time-out, the worker object is left to the threads that still use it, and the manager's
    // thread is waited for.
    ~CTransferManager() override;

    // Stores the parent thread and makes the manager's thread the worker's report thread. Call
    // it once the manager's thread runs.
    void SetParentThead(unsigned long threadId);
    // The message loop; 0 once WM_QUIT arrives.
    int Run() override;
    // Bytes moved by the current or last transfer of that direction; 0 without a worker.
    int GetSpeed(bool bUpload);
    // Its average speed in bytes per second.
    int GetMeanSpeed(bool bUpload);

    WorkTransfer* Worker() { return m_pWorkTransfer.get(); }

  private:
    void OnMessage(const plat::MSG& msg);
    void Forward(unsigned message) const;

    std::unique_ptr<WorkTransfer> m_pWorkTransfer;
    std::atomic<plat::DWORD> m_dwParentThread{0};
};
