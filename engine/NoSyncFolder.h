#pragma once
// Rule 5 (switched off in the task manager): leaves out items below the folders the user
// excluded from sync in the desktop client.

#include "engine/BaseSyncRule.h"

class CNoSyncFolder : public CBaseSyncRule {
  public:
    // Removes, without a log line, every task whose item the sync folder table excludes. 0.
    int DoAction(std::vector<TComand>& batch) override;
};
