#include "engine/SyncRedundancyFilter.h"

#include "common/AfLog.h"
#include "common/Utility.h"
#include "store/SyncTemporary.h"

int CSyncRedundancyFilter::DoAction(std::vector<TComand>& batch) {
    constexpr const char* kFunction = "CSyncRedundancyFilter::DoAction";
    if (StopBatch(batch, kFunction)) {
        return 0;
    }
    RemoveTasks(batch, [](TComand& task) {
        if (task.iType == 0 || CSyncTemporary::Get()->CheckServerSyncFile(
                                   task.tSyncFile, static_cast<E_Oper>(task.iOper)) == 0) {
            return false;
        }
        AfLog(1, kLogicSyncLog, kFunction, __LINE__, "Remove Task File(%s), Server Operation",
              WstringToString(task.tSyncFile.strName).c_str());
        return true;
    });
    return 0;
}
