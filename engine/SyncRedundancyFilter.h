#pragma once
// Rule 0: drops the disk's echoes of changes the engine has just applied from the service (a
// download, a local delete or rename). The server temporary set remembers those operations;
// an echo found there is consumed, so the next real change of the same item passes.

#include "engine/BaseSyncRule.h"

class CSyncRedundancyFilter : public CBaseSyncRule {
  public:
    // Removes each task of a non-service origin that the server temporary set knows for its
    // file and operation, with a level-1 line. 0.
    int DoAction(std::vector<TComand>& batch) override;
};
