#include "transfer/WorkTransfer.h"

#include <algorithm>
#include <string>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "rest/SyncMgr.h"
#include "store/SyncCompletedArray.h"
#include "store/SyncFailArray.h"
#include "store/SyncStatus.h"
#include "store/SyncTemporary.h"
#include "store/SyncingTaskArray.h"
#include "store/SystemInfoLD.h"
#include "store/TSyncFileArray.h"
#include "transfer/DownLoad.h"
#include "transfer/OtherTransfer.h"
#include "transfer/TransferCodes.h"
#include "transfer/TransferLog.h"
#include "transfer/UpLoad.h"

namespace {

const char* const kDoSync = "WorkTransfer::DoSync";
constexpr plat::Clock::Duration kFirstRetryDelay = std::chrono::seconds(1);
constexpr plat::Clock::Duration kLongestRetryDelay = std::chrono::minutes(1);

void LogTask(const TComand& task) {
    std::string trace;
    GetTraceStringTCommand(task, trace);
    AfLog(0, kTransferManagerLog, kDoSync, __LINE__, "%s", trace.c_str());
}

}  // namespace

WorkTransfer::WorkTransfer()
    : m_hWake(plat::CreateEvent(false, false)), m_retryDelay(kFirstRetryDelay) {}

int WorkTransfer::Run() {
    const plat::EventPtr stop = CSyncStatus::Get()->GetSyncHandle();
    const plat::SemaphorePtr work = CSyncingTaskArray::Get()->GetSyncHandle();
    while (!m_bEnd.load()) {
        plat::DWORD woken = plat::WaitForMultipleObjects({stop, work, m_hWake}, plat::INFINITE);
        AfLog(0, kTransferManagerLog, "WorkTransfer::Run", __LINE__,
              "Wait Multiple Object. Pause = %d", int(m_bPause.load()));
        if (woken == plat::WAIT_OBJECT_0) {
            TakePauseFlag();
        } else if (woken == plat::WAIT_OBJECT_0 + 1 && !m_bEnd.load()) {
            DoSync();
        }
    }
    return 0;
}

void WorkTransfer::Pause() {
    {
        std::lock_guard<std::mutex> lock(m_currentMutex);
        if (m_pCurrent != nullptr) {
            m_pCurrent->Pause();
        }
        m_bPause.store(true);
    }
    AfLog(0, kTransferManagerLog, "WorkTransfer::Pause", __LINE__, "Set Pause = %d", 1);
    plat::SetEvent(m_hWake);
}

void WorkTransfer::Resume() {
    {
        std::lock_guard<std::mutex> lock(m_currentMutex);
        // Also without an object: a pause that reached the session after its transfer ended
        // would otherwise hold the next transfer.
        CBaseTransfer::Session().SessionResume();
        m_bPause.store(false);
    }
    AfLog(0, kTransferManagerLog, "WorkTransfer::Resume", __LINE__, "Set Pause = %d", 0);
    // A task that the pause left queued (cut short in its retry delay, or not yet taken) is
    // run now: the task builder, which would signal it too, may still be waiting for this
    // queue to drain from before a pause too short for it to notice.
    if (CSyncingTaskArray::Get()->HasTask() != 0) {
        CSyncingTaskArray::Get()->Release(1);
    }
}

void WorkTransfer::RequestEnd() {
    m_bEnd.store(true);
    plat::SetEvent(m_hWake);
}

void WorkTransfer::DoSync() {
    CSyncStatus* status = CSyncStatus::Get();
    if (m_bPause.load() || status->GetFlag(MSYNC_FLAG_WAIT30S_SYNC)) {
        AfLog(0, kTransferManagerLog, kDoSync, __LINE__,
              "WorkTransfer::DoSync() return pause = (%d) flag = (%x)", int(m_bPause.load()),
              status->GetFlag());
        return;
    }
    TComand task;
    if (CSyncingTaskArray::Get()->GetTask(task) == 0) {
        AfLog(0, kTransferManagerLog, kDoSync, __LINE__, "WorkTransfer::DoSync() return");
        return;
    }
    AfLog(1, kTransferManagerLog, kDoSync, __LINE__, "Task Begin Sync");
    RunQueue(task);
    if (status->GetStatus() == MSYNC_STATE_SYNCING) {
        status->SetStatus(MSYNC_STATE_SYNCED, 0, OPEA_FLAG_DEFAULT);
        Report(MSG_SYNC_COMPLETE_ALL);
    }
    // The echoes of the last transfers are still on their way from the watcher: the entries
    // stay for a while instead of being cleared. Those whose task never ran (the queue was
    // cleared) start their countdown once nothing is left to run.
    if (CSyncingTaskArray::Get()->HasTask() == 0) {
        CSyncTemporary::Get()->CompleteAll();
    }
    AfLog(1, kTransferManagerLog, kDoSync, __LINE__, "Task End Sync");
}

void WorkTransfer::RunQueue(TComand& task) {
    m_retryDelay = kFirstRetryDelay;
    std::unique_ptr<CBaseTransfer> transfer = CreateTransfer(task);
    while (!m_bEnd.load()) {
        if (!transfer) {
            // A content task of an origin no class serves would block the queue for good.
            Finish(task, TRANSFER_NOT_MINE);
        } else {
            if (!SetCurrent(transfer.get())) {
                return;
            }
            AfLog(1, kTransferManagerLog, kDoSync, __LINE__,
                  "WorkTransfer::DoSync() set MSYNC_STATE_SYNCING");
            CSyncStatus::Get()->SetStatus(MSYNC_STATE_SYNCING, 0, OPEA_FLAG_DEFAULT);
            int result = transfer->DoTask(task);
            SetCurrent(nullptr);
            AfLog(1, kTransferManagerLog, kDoSync, __LINE__, "Do Sync Task result = (%d)", result);
            LogTask(task);
            if (IsRetryable(result)) {
                AfLog(1, kTransferManagerLog, kDoSync, __LINE__, "Continue Before Task");
                if (!WaitBeforeRetry()) {
                    return;
                }
                continue;
            }
            if (result != TRANSFER_NOT_MINE || !WaitForFolder(task)) {
                Finish(task, result);
            }
        }
        m_retryDelay = kFirstRetryDelay;
        const int iDoneKey = task.iIdKey;
        if (CSyncingTaskArray::Get()->GetTask(task) == 0) {
            return;
        }
        if (task.iIdKey == iDoneKey) {
            // The finished task could not be taken off the queue (the table store failed):
            // running it again at once would repeat it without end.
            AfLog(4, kTransferManagerLog, kDoSync, __LINE__, "Task %d stays queued", iDoneKey);
            return;
        }
        transfer = CreateTransfer(task);
    }
}

bool WorkTransfer::WaitForFolder(const TComand& task) {
    const std::wstring& path = task.tSyncFile.strRelativePath;
    if (task.iType != 1 || CBaseTransfer::FindParentId(path) >= 0) {
        return false;
    }
    const std::wstring folder = GetParentPath(path);
    if (CSyncingTaskArray::Get()->MoveBehindFolderCreation(
            task.iIdKey, folder,
            GetAbsolutePath(folder, CSystemInfoLD::Get()->GetSystemInfo().wstrSyncDir))) {
        AfLog(1, kTransferManagerLog, kDoSync, __LINE__,
              "Task %d waits for the creation of its folder (%s) on the service", task.iIdKey,
              WstringToString(folder).c_str());
        return true;
    }
    if (CSyncStatus::Get()->GetFlag(MSYNC_FLAG_DISKCAUSE_SYNC) == 0) {
        return false;
    }
    // The folder's own notification was lost (the kernel's queue overflowed, say): the
    // comparison that follows the disk's tasks finds the folder and the item together.
    AfLog(1, kTransferManagerLog, kDoSync, __LINE__,
          "Task %d left to the comparison that follows: its folder (%s) is not on the service yet",
          task.iIdKey, WstringToString(folder).c_str());
    CSyncingTaskArray::Get()->RemoveTask(task.iIdKey);
    return true;
}

std::unique_ptr<CBaseTransfer> WorkTransfer::CreateTransfer(const TComand& task) {
    if (task.iOper != OPER_ADD || task.tSyncFile.iType != 1) {
        return std::make_unique<COtherTransfer>();
    }
    if (task.iType == 0 || task.iType == 2) {
        return std::make_unique<CDownLoad>();
    }
    if (task.iType == 1) {
        return std::make_unique<CUpLoad>();
    }
    return nullptr;
}

bool WorkTransfer::SetCurrent(CBaseTransfer* transfer) {
    std::lock_guard<std::mutex> lock(m_currentMutex);
    if (transfer != nullptr && m_bPause.load()) {
        return false;
    }
    m_pCurrent = transfer;
    return true;
}

void WorkTransfer::Finish(TComand& task, int result) {
    if (result == TRANSFER_OK || result == TRANSFER_OK_STORE) {
        OnTaskSucceeded(task);
    } else {
        OnTaskFailed(task, result);
    }
    CSyncTemporary::Get()->Complete(task.tSyncFile);
    // The engine may have cleared the queue and pushed new tasks meanwhile: only this task
    // leaves it, found by its key under the queue's lock.
    CSyncingTaskArray::Get()->RemoveTask(task.iIdKey);
}

void WorkTransfer::OnTaskSucceeded(TComand& task) {
    CTSyncFileArray* table = CTSyncFileArray::Get();
    TSyncFile& file = task.tSyncFile;
    switch (task.iOper) {
        case OPER_MODIFY:
            table->Modify(file.iId, file);
            break;
        case OPER_ADD:
            if (IsMovedFolder(task)) {
                // The service renamed a known folder onto the name of this new local one and
                // answered its id: the row stays where the folder is on disk, so the next
                // comparison brings the rename down and merges the two folders.
                break;
            }
            // New content of a file already known replaces its row instead of doubling it.
            if (table->Find(file.iId)) {
                table->Modify(file.iId, file);
            } else {
                table->Add(file);
            }
            break;
        case OPER_DELETE:
            table->Delete(file.iId);
            break;
        case OPER_RENAME:
            UpdateRenamed(task);
            break;
        default:
            break;
    }
    CSyncCompletedArray::Get()->Add(task);
    CSyncFailArray::Get()->DeleteItem(file.strRelativePath);
    CSyncStatus* status = CSyncStatus::Get();
    status->PostMsg(MSG_TASK_COMPLETED, static_cast<unsigned>(task.iIdKey), status->GetStatus());
}

bool WorkTransfer::IsMovedFolder(const TComand& task) {
    const TSyncFile& file = task.tSyncFile;
    TSyncFile row;
    return task.iType == 1 && file.iType == 0 &&
           CTSyncFileArray::Get()->GetSyncFile(file.iId, row) &&
           row.strRelativePath != file.strRelativePath;
}

void WorkTransfer::UpdateRenamed(TComand& task) {
    CTSyncFileArray* table = CTSyncFileArray::Get();
    const TSyncFile& file = task.tSyncFile;
    const std::wstring& newName = file.dataExtension.dataReName.wstrNewName;
    const std::wstring oldFolder = file.strRelativePath + L"\\";
    if (file.iId <= 0) {
        // An item the service never had has no row to follow the rename.
        return;
    }
    TSyncFile record = file;
    if (task.iType != 0) {
        table->GetSyncFile(file.iId, record);
        record.strName = newName;
        record.strRelativePath = GetParentPath(record.strRelativePath) + L"\\" + newName;
    } else {
        record.strName = GetFileName(newName);
        record.strRelativePath =
            GetRelatePath(newName, CSystemInfoLD::Get()->GetSystemInfo().wstrSyncDir);
    }
    table->Modify(file.iId, record);
    if (record.iType == 0) {
        table->UpdateFolderName(record.strRelativePath + L"\\", oldFolder);
    }
}

void WorkTransfer::OnTaskFailed(TComand& task, int result) {
    int nFailID = -1;
    CSyncFailArray::Get()->Add(result, task, nFailID);
    CSyncStatus* status = CSyncStatus::Get();
    status->PostMsg(MSG_TASK_FAILED, static_cast<unsigned>(task.iIdKey), status->GetStatus());
    const TSyncFile& file = task.tSyncFile;
    const bool bServerFile = task.iType == 0 && file.iType == 1;
    switch (result) {
        case TRANSFER_LOCAL_MISSING:
            if (bServerFile && task.iOper == OPER_RENAME) {
                CTSyncFileArray::Get()->Delete(file.iId);
            }
            break;
        case 8002:
            if (bServerFile && task.iOper == OPER_ADD) {
                CDownLoad::RemovePartial(file);
            }
            break;
        case 9003:
            Report(MSG_ERR_FILE4G);
            break;
        case 9005:
            Report(MSG_ERR_SPACE_FULL);
            status->SetFlag(MSYNC_FLAG_WAIT30S_SYNC, true);
            status->SetFlag(MSYNC_FLAG_SPACE_FULL, true);
            // This task ended with its fail entry; only the tasks behind it are dropped.
            CSyncingTaskArray::Get()->RemoveTask(task.iIdKey);
            CSyncingTaskArray::Get()->Clear();
            break;
        default:
            break;
    }
}

bool WorkTransfer::WaitBeforeRetry() {
    const plat::EventPtr stop = CSyncStatus::Get()->GetSyncHandle();
    const plat::DWORD woken = plat::WaitForMultipleObjects(
        {stop, m_hWake}, static_cast<plat::DWORD>(m_retryDelay.count()));
    if (woken == plat::WAIT_OBJECT_0) {
        TakePauseFlag();
    }
    m_retryDelay = std::min(m_retryDelay * 2, kLongestRetryDelay);
    return !m_bPause.load() && !m_bEnd.load();
}

void WorkTransfer::TakePauseFlag() {
    const bool bPause = CSyncStatus::Get()->GetFlag(MSYNC_FLAG_PAUSE) != 0;
    m_bPause.store(bPause);
    AfLog(0, kTransferManagerLog, "WorkTransfer::Run", __LINE__, "Set Pause = %d", int(bPause));
}

void WorkTransfer::Report(unsigned message) const {
    plat::PostThreadMessage(m_dwReportThread.load(), message, 0, 0);
}
