#pragma once
// Holds back the deletions of one offline comparison that would wipe out what is synced: when
// one side would delete every synced item, or more than half of at least 100 synced items,
// that side's deletions are taken out of the plan (the rest goes ahead) and kept for the
// user's confirmation. A later comparison that no longer finds them deleted simply does not
// ask again; the table rows stay until then.
//
// Threads: the thread that runs the offline comparison.

#include <cstddef>
#include <vector>

#include "common/SyncRecords.h"
#include "engine/ChangeGroup.h"

struct TDeletionHold {
    std::size_t iSynced = 0;         // rows of the local file table
    std::size_t iDiskDeletes = 0;    // local deletions (they delete on the service)
    std::size_t iServerDeletes = 0;  // deletions on the service (they delete locally)
    bool bDiskHeld = false;
    bool bServerHeld = false;
    std::vector<TComand> heldTasks;  // the held deletions as tasks, for a confirmation

    bool Any() const { return bDiskHeld || bServerHeld; }
};

class CMassDeletionGuard {
  public:
    // True when count deletions of synced items are too many to go ahead unconfirmed.
    static bool TooMany(std::size_t count, std::size_t synced);
    // Decides for both groups; a held side's deleted list is emptied into the hold's tasks
    // (with a level-4 log line saying how many and why).
    static TDeletionHold Apply(TChangeGroup& disk, TChangeGroup& server, std::size_t synced);
};
