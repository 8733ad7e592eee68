#pragma once
// The persistent copy of the task queue, "SyncingTask" in Sync.db, keyed by the task key
// iIdKey.

#include <vector>

#include "common/SyncRecords.h"
#include "store/tablestore/DbBase.h"

class CSyncingTask : public CDbBase {
  public:
    CSyncingTask();
    int ConnectDB() override;

    // Appends every stored task (statement included), by key.
    int GetAllSyncingTask(std::vector<TComand>& tasks);
    // 0 with the task of that key, or 1001 (task untouched).
    int GetASyncingTask(int idKey, TComand& task);
    // 19 when a task with that key is stored already (the stored one is kept).
    int AddTaskInfo(const TComand& task);
    // All or none of the tasks are stored.
    int AddTaskArrayInfo(const std::vector<TComand>& tasks);
    // 0 also when no task has the key.
    int DelByIdKey(const int& idKey);
    // Stores the task under idKey, in place of the one stored there or as a new row.
    int UpdateByIdKey(const int& idKey, const TComand& task);
};
