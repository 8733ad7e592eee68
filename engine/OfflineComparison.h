#pragma once
// One offline comparison of disk, local file table and service listing, up to its task list:
// the disk scan, a snapshot of the table, the server scan, the three stages of the comparison,
// the check for files still being written, the mass deletion guard, the refill of the server
// temporary set and the task list. A scan that fails abandons the comparison with nothing
// changed: no table row is ever read as deleted because a scan could not see it.
//
// Two marks live in the system table beside the configuration: "SyncDirDevice", the device of
// the sync directory when it last held items (an empty directory on another device is a volume
// that is not mounted), and "OfflineSyncTime", the start of the last completed comparison
// (records written since then may be racily clean and are hashed).
//
// Threads: the thread that runs the offline comparison; one comparison at a time.

#include <string>
#include <vector>

#include "common/SyncRecords.h"
#include "engine/DiskScanner.h"
#include "engine/MassDeletionGuard.h"

class COfflineComparison {
  public:
    // Builds the task list of one comparison (tasks is emptied first). 0; 1001 without a sync
    // directory or when the listing is unusable; 1002 when the disk scan failed; or the
    // listing's error code. Held deletions are in Hold() afterwards.
    int GetOffLineTask(std::vector<TComand>& tasks);

    const TDeletionHold& Hold() const { return m_hold; }
    const CDiskScanner& DiskScanner() const { return m_diskScanner; }

  private:
    int Compare(std::vector<TComand>& tasks);

    CDiskScanner m_diskScanner;
    TDeletionHold m_hold;
};
