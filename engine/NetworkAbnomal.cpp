#include "engine/NetworkAbnomal.h"

#include "common/AfLog.h"

int CNetworkAbnomal::DoAction(std::vector<TComand>& batch) {
    constexpr const char* kFunction = "CNetworkAbnomal::DoAction";
    if (StopBatch(batch, kFunction)) {
        return 0;
    }
    if (IsNetworkReachable()) {
        return 1;
    }
    AfLog(6, kLogicSyncLog, kFunction, __LINE__, "%s", "Error::NetWork is Failed, Do not Sync");
    batch.clear();
    return 0;
}

int CNetworkAbnomal::Init() {
    SetNetworkReachable(true);
    return 0;
}
