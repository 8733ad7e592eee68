#pragma once
// Rule 6 (switched off in the task manager): leaves out tasks that have failed before and
// still stand in the fail list.

#include "engine/BaseSyncRule.h"

class CSyncFailFile : public CBaseSyncRule {
  public:
    // Removes, without a log line, every task the fail list already holds. 0.
    int DoAction(std::vector<TComand>& batch) override;
};
