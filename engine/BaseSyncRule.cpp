#include "engine/BaseSyncRule.h"

#include "common/AfLog.h"

bool CBaseSyncRule::StopBatch(std::vector<TComand>& batch, const char* function) {
    if (!GetStopFlag()) {
        return false;
    }
    AfLog(6, kLogicSyncLog, function, __LINE__, "%s", "Error::Stop Sync, Do not Sync");
    batch.clear();
    return true;
}
