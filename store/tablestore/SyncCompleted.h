#pragma once
// The completed list "SyncCompleted" in Sync.db, keyed by iCmpdAutoKey.

#include <vector>

#include "common/SyncRecords.h"
#include "store/tablestore/DbBase.h"

class CSyncCompleted : public CDbBase {
  public:
    CSyncCompleted();
    int ConnectDB() override;

    // Appends every entry, by key.
    int GetArr(std::vector<SyncCompleted>& completed);
    // The newest entry of the task with that task key (iIdKey, the key MSG_TASK_COMPLETED
    // carries; task keys start again in every run of the engine, so older entries may share
    // it): 0 with the entry, or 1001 (entry untouched).
    int GetASyncCompleted(int idKey, SyncCompleted& completed);
    // 19 when an entry with that iCmpdAutoKey is stored already (the stored one is kept).
    int AddInfo(const SyncCompleted& completed);
    // Removes the entry with that iCmpdAutoKey; 0 also when there is none.
    int DelByKey(int iCmpdAutoKey);
};
