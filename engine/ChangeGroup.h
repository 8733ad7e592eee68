#pragma once
// What one side of the offline comparison changed since the last sync, as four lists of file
// records: added, deleted, modified, renamed (the disk side never fills renamed).

#include <vector>

#include "common/SyncRecords.h"

struct TChangeGroup {
    std::vector<TSyncFile> added;
    std::vector<TSyncFile> deleted;
    std::vector<TSyncFile> modified;
    std::vector<TSyncFile> renamed;
};
