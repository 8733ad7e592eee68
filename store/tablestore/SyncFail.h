#pragma once
// The fail list "FailSync" in Sync.db, keyed by iFailAutoKey.

#include <vector>

#include "common/SyncRecords.h"
#include "store/tablestore/DbBase.h"

class CSyncFail : public CDbBase {
  public:
    CSyncFail();
    int ConnectDB() override;

    // Appends every entry, by key.
    int GetFailArr(std::vector<SyncFail>& fails);
    // The newest entry of the task with that task key (iIdKey, the key MSG_TASK_FAILED
    // carries; task keys start again in every run of the engine, so older entries may share
    // it): 0 with the entry, or 1001 (entry untouched).
    int GetASyncFail(int idKey, SyncFail& fail);
    // 19 when an entry with that iFailAutoKey is stored already (the stored one is kept).
    int AddFailInfo(const SyncFail& fail);
    // Removes the entry with that iFailAutoKey; 0 also when there is none.
    int DelBy(int iFailAutoKey);
};
