#include "engine/TaskBuilder.h"

#include <utility>

#include "common/AfLog.h"
#include "platform/Clock.h"
#include "store/SyncCodes.h"
#include "store/SyncStatus.h"
#include "store/SyncingTaskArray.h"
#include "store/TSyncFileArray.h"

namespace {

std::atomic<CTaskBuilder*> g_pTaskBuilder{nullptr};

constexpr const char* kIdleLine =
    "CTaskCache::ReleaseTask() Set Status (MSYNC_STATE_IDLE, not Force , OPEA_FLAG = Default )";

}  // namespace

CTaskBuilder::CTaskBuilder() {
    g_pTaskBuilder.store(this);
}

CTaskBuilder::~CTaskBuilder() {
    EndWatch();
    CTaskBuilder* self = this;
    g_pTaskBuilder.compare_exchange_strong(self, nullptr);
}

CTaskBuilder* CTaskBuilder::Get() {
    return g_pTaskBuilder.load();
}

void CTaskBuilder::SetTaskCallback(TaskCallback fnTask) {
    std::lock_guard<std::mutex> guard(m_csCallback);
    m_fnTask = std::move(fnTask);
}

void CTaskBuilder::CallTaskCallback(std::vector<TComand> tasks, int bFlag) {
    TaskCallback fnTask;
    {
        std::lock_guard<std::mutex> guard(m_csCallback);
        fnTask = m_fnTask;
    }
    if (fnTask) {
        fnTask(std::move(tasks), bFlag);
    }
}

void CTaskBuilder::ONDirectionChangeArray(std::vector<TComand> batch) {
    CTaskBuilder* pBuilder = Get();
    if (pBuilder == nullptr) {
        return;
    }
    AfLog(1, __FILE_NAME__, "CTaskBuilder::ONDirectionChangeArray", __LINE__, "%s",
          "Get Disk task begin");
    CSyncStatus::Get()->SetStatus(MSYNC_STATE_FIND, 0, OPEA_FLAG_DEFAULT);
    for (TComand& task : batch) {
        if (task.iOper != OPER_ADD) {
            TSyncFile record;
            if (CTSyncFileArray::Get()->GetSyncFile(task.tSyncFile.strRelativePath, record)) {
                task.tSyncFile.iId = record.iId;
                task.tSyncFile.iPId = record.iPId;
            }
        }
        std::string trace;
        GetTraceStringTCommand(task, trace);
        AfLog(0, __FILE_NAME__, "CTaskBuilder::ONDirectionChangeArray", __LINE__, "%s",
              trace.c_str());
    }
    AfLog(1, __FILE_NAME__, "CTaskBuilder::ONDirectionChangeArray", __LINE__, "%s",
          "Get Disk task end");
    pBuilder->CallTaskCallback(std::move(batch), 0);
}

void CTaskBuilder::ONDiskOfflineSync(unsigned int uCauses) {
    CTaskBuilder* pBuilder = Get();
    if (pBuilder == nullptr) {
        return;
    }
    CSyncStatus* pStatus = CSyncStatus::Get();
    if (pStatus->IsResumeSync() == 0) {
        AfLog(0, __FILE_NAME__, "CTaskBuilder::ONDiskOfflineSync", __LINE__,
              "offline sync for disk causes (%x) left to the resume: paused or no service",
              uCauses);
        return;
    }
    AfLog(1, __FILE_NAME__, "CTaskBuilder::ONDiskOfflineSync", __LINE__,
          "Disk Cause offline sync requested, causes = (%x)", uCauses);
    if (pStatus->GetStatus() == MSYNC_STATE_SYNCING) {
        // The control thread starts it when the queue has drained...
        pStatus->SetFlag(MSYNC_FLAG_DISKCAUSE_SYNC, true);
        if (pStatus->GetStatus() == MSYNC_STATE_SYNCING) {
            return;
        }
        // ...unless it drained meanwhile, and that report may have gone by already.
    }
    pBuilder->m_serverWatch.StartServerSync();
}

void CTaskBuilder::ONOfflineSync() {
    if (CTaskBuilder* pBuilder = Get()) {
        pBuilder->OfflineSync();
    }
}

void CTaskBuilder::OfflineSync() {
    std::lock_guard<std::mutex> guard(m_csOffline);
    m_uBegun.fetch_add(1);
    CSyncStatus* pStatus = CSyncStatus::Get();
    pStatus->SetStatus(MSYNC_STATE_FIND, 1, OPEA_FLAG_RESET);
    std::vector<TComand> tasks;
    const int nRet = m_comparison.GetOffLineTask(tasks);
    if (nRet == 0 || nRet == 101) {
        ApplyHold(tasks);
        // The filter chain runs on this thread: once the callback returns, every task of the
        // comparison is queued.
        CallTaskCallback(std::move(tasks), 1);
        m_iLastResult.store(0);
        m_uEnded.fetch_add(1);
        return;
    }
    if (pStatus->GetStatus() == MSYNC_STATE_FIND) {
        pStatus->SetStatus(MSYNC_STATE_IDLE, 0, OPEA_FLAG_DEFAULT);
        AfLog(1, __FILE_NAME__, "CTaskBuilder::ONOfflineSync", __LINE__, "%s", kIdleLine);
    }
    m_iLastResult.store(nRet);
    m_uEnded.fetch_add(1);
}

int CTaskBuilder::GetOffLineTask(std::vector<TComand>& tasks) {
    CTaskBuilder* pBuilder = Get();
    if (pBuilder == nullptr) {
        tasks.clear();
        return 1001;
    }
    return pBuilder->m_comparison.GetOffLineTask(tasks);
}

CTaskBuilder::DeletionKey CTaskBuilder::KeyOf(const TComand& task) {
    return {task.iType, task.iOper, task.tSyncFile.strRelativePath, task.tSyncFile.iId};
}

void CTaskBuilder::ApplyHold(std::vector<TComand>& tasks) {
    const TDeletionHold& hold = m_comparison.Hold();
    m_held.clear();
    m_uHeld.store(0);
    if (!hold.Any()) {
        // Nothing is held back any more, so there is nothing left to confirm.
        m_confirmed.clear();
        return;
    }
    const bool bRelease =
        !m_confirmed.empty() && CSyncStatus::Get()->GetFlag(MSYNC_FLAG_PAUSE) == 0;
    std::vector<TComand> local;
    std::vector<TComand> remote;
    for (const TComand& task : hold.heldTasks) {
        if (bRelease && m_confirmed.count(KeyOf(task)) != 0) {
            (task.iType == 1 ? local : remote).push_back(task);
        } else {
            m_held.push_back(task);
        }
    }
    if (bRelease) {
        m_confirmed.clear();
        AfLog(1, __FILE_NAME__, "CTaskBuilder::ONOfflineSync", __LINE__,
              "confirmed deletions released: %zu local, %zu on the service", local.size(),
              remote.size());
    }
    tasks.insert(tasks.begin(), local.begin(), local.end());
    tasks.insert(tasks.end(), remote.begin(), remote.end());
    m_uHeld.store(static_cast<unsigned>(m_held.size()));
    if (!m_held.empty()) {
        AfLog(4, __FILE_NAME__, "CTaskBuilder::ONOfflineSync", __LINE__,
              "%zu deletions held until the client confirms them", m_held.size());
        CSyncStatus::Get()->PostMsg(MSG_DELETIONS_HELD, static_cast<unsigned>(m_held.size()),
                                    static_cast<long>(m_held.size()));
    }
}

void CTaskBuilder::ReleaseHeldDeletions() {
    {
        std::lock_guard<std::mutex> guard(m_csOffline);
        if (m_held.empty()) {
            AfLog(0, __FILE_NAME__, "CTaskBuilder::ReleaseHeldDeletions", __LINE__, "%s",
                  "no deletions are held");
            return;
        }
        m_confirmed.clear();
        for (const TComand& task : m_held) {
            m_confirmed.insert(KeyOf(task));
        }
        AfLog(1, __FILE_NAME__, "CTaskBuilder::ReleaseHeldDeletions", __LINE__,
              "%zu held deletions confirmed", m_held.size());
    }
    m_serverWatch.StartServerSync();
}

bool CTaskBuilder::WaitForQueue(const char* function, const char* pauseLine) {
    CSyncStatus* pStatus = CSyncStatus::Get();
    while (!m_bEnd.load() && CSyncingTaskArray::Get()->HasTask() != 0) {
        if (pStatus->GetFlag(MSYNC_FLAG_PAUSE) != 0) {
            AfLog(0, __FILE_NAME__, function, __LINE__, "%s", pauseLine);
            return false;
        }
        // No transfer starts while waiting for the 30-second sync, so the queue would not
        // drain; that sync (on the server watch) takes over.
        if (pStatus->GetFlag(MSYNC_FLAG_WAIT30S_SYNC) != 0) {
            return true;
        }
        plat::WaitForSingleObject(m_hEnd, kQueuePollMs);
    }
    return !m_bEnd.load();
}

void CTaskBuilder::RequestEnd() {
    m_bEnd.store(true);
    plat::SetEvent(m_hEnd);
}

int CTaskBuilder::Resume() {
    AfLog(0, __FILE_NAME__, "CTaskBuilder::Resume", __LINE__, "%s", "CTaskBuilder::Resume() begin");
    constexpr const char* kPauseLine = "Resume return for MSYNC_FLAG_PAUSE";
    // The task kept through the pause waits for a work signal that nobody else gives.
    if (CSyncingTaskArray::Get()->HasTask() != 0) {
        CSyncingTaskArray::Get()->Release(1);
    }
    if (!WaitForQueue("CTaskBuilder::Resume", kPauseLine)) {
        return 1;
    }
    if (CSyncStatus::Get()->GetFlag(MSYNC_FLAG_WAIT30S_SYNC) != 0) {
        AfLog(0, __FILE_NAME__, "CTaskBuilder::Resume", __LINE__, "%s",
              "BreakPonit task need to wait 30s.");
    } else {
        ONOfflineSync();
        if (!WaitForQueue("CTaskBuilder::Resume", kPauseLine)) {
            return 1;
        }
    }
    m_serverWatch.SetEnabled(true);
    StartWatch();
    AfLog(0, __FILE_NAME__, "CTaskBuilder::Resume", __LINE__, "%s", "CTaskBuilder::Resume() end");
    return 0;
}

void CTaskBuilder::StartWatch() {
    m_serverWatch.SetCallback(&CTaskBuilder::ONOfflineSync);
    if (m_serverWatch.GetThreadId() == 0) {
        if (m_serverWatch.Start() == 0) {
            plat::PostThreadMessage(m_serverWatch.GetThreadId(), MSG_THREAD_START, 0, 0);
        } else {
            AfLog(6, __FILE_NAME__, "CTaskBuilder::StartWatch", __LINE__, "%s",
                  "Error: Start CServerWatch Failed.");
        }
    }
    m_diskMonitor.SetCallbacks(&CTaskBuilder::ONDirectionChangeArray,
                               &CTaskBuilder::ONDiskOfflineSync);
    StartDiskMonitor();
}

void CTaskBuilder::StartDiskMonitor() {
    if (!m_bDiskWatching) {
        m_bDiskWatching = m_diskMonitor.Start() == 0;
    }
}

void CTaskBuilder::HoldWatch() {
    m_serverWatch.SetEnabled(false);
    if (m_bDiskWatching) {
        m_diskMonitor.Stop();
        m_bDiskWatching = false;
    }
}

void CTaskBuilder::EndWatch() {
    RequestEnd();
    if (m_serverWatch.GetThreadId() != 0) {
        plat::PostThreadMessage(m_serverWatch.GetThreadId(), plat::WM_QUIT, 0, 0);
        m_serverWatch.Stop();
    }
    if (m_bDiskWatching) {
        m_diskMonitor.Stop();
        m_bDiskWatching = false;
    }
    m_diskMonitor.EndHandlerThread();
}
