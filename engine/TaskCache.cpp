#include "engine/TaskCache.h"

#include <algorithm>

#include "common/AfLog.h"
#include "store/SyncCodes.h"
#include "store/SyncStatus.h"
#include "store/SyncingTaskArray.h"

int CTaskCache::DoAction(std::vector<TComand>& batch) {
    if (StopBatch(batch, "CTaskCache::DoAction")) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_cache.insert(m_cache.end(), batch.begin(), batch.end());
    if (GetBatchFlag() == 0) {
        NeedOfflineSyncOnIdle();
    }
    ReleaseTask();
    return 0;
}

void CTaskCache::NeedOfflineSyncOnIdle() {
    const bool bFromDisk = std::any_of(m_cache.begin(), m_cache.end(),
                                       [](const TComand& task) { return task.iType == 1; });
    if (!bFromDisk) {
        return;
    }
    CSyncStatus::Get()->SetFlag(MSYNC_FLAG_DISKCAUSE_SYNC, true);
    AfLog(0, kLogicSyncLog, "CTaskCache::NeedOfflineSyncOnIdle", __LINE__, "%s",
          "CTaskCache::NeedOfflineSyncOnIdle() SetOfflineSync True");
}

void CTaskCache::ReleaseTask() {
    CSyncStatus* status = CSyncStatus::Get();
    if (!m_cache.empty()) {
        CSyncingTaskArray::Get()->push_back(m_cache);
        m_cache.clear();
        CSyncingTaskArray::Get()->Release(1);
        AfLog(1, kLogicSyncLog, "CTaskCache::ReleaseTask", __LINE__,
              "CTaskCache::ReleaseTask() Status (%d) flag = (%x)",
              static_cast<int>(status->GetStatus()), static_cast<unsigned>(status->GetFlag()));
        return;
    }
    if (status->GetStatus() == MSYNC_STATE_FIND) {
        status->SetStatus(MSYNC_STATE_IDLE, 0, OPEA_FLAG_DEFAULT);
        AfLog(1, kLogicSyncLog, "CTaskCache::ReleaseTask", __LINE__, "%s",
              "CTaskCache::ReleaseTask() Set Status (MSYNC_STATE_IDLE, not Force , OPEA_FLAG = "
              "Default )");
    }
}
