#include "engine/MassDeletionGuard.h"

#include "common/AfLog.h"
#include "engine/OfflineTasks.h"

namespace {

constexpr std::size_t kMinimumForHalf = 100;

// The deleted list's tasks as the task list would hold them; the list is emptied.
void Hold(std::vector<TSyncFile>& deleted, bool bDisk, std::vector<TComand>& heldTasks) {
    TChangeGroup only;
    only.deleted.swap(deleted);
    std::vector<TComand> tasks;
    const TChangeGroup none;
    BuildOfflineTasks(bDisk ? only : none, bDisk ? none : only, tasks);
    heldTasks.insert(heldTasks.end(), tasks.begin(), tasks.end());
}

}  // namespace

bool CMassDeletionGuard::TooMany(std::size_t count, std::size_t synced) {
    if (count == 0 || synced == 0) {
        return false;
    }
    return count >= synced || (synced >= kMinimumForHalf && count * 2 > synced);
}

TDeletionHold CMassDeletionGuard::Apply(TChangeGroup& disk, TChangeGroup& server,
                                        std::size_t synced) {
    TDeletionHold hold;
    hold.iSynced = synced;
    hold.iDiskDeletes = disk.deleted.size();
    hold.iServerDeletes = server.deleted.size();
    if (TooMany(hold.iDiskDeletes, synced)) {
        hold.bDiskHeld = true;
        AfLog(4, "MassDeletionGuard.cpp", "CMassDeletionGuard::Apply", __LINE__,
              "Deletions held back: %zu of %zu synced items are gone from the sync directory; "
              "they are not deleted on the service until the user confirms",
              hold.iDiskDeletes, synced);
        Hold(disk.deleted, true, hold.heldTasks);
    }
    if (TooMany(hold.iServerDeletes, synced)) {
        hold.bServerHeld = true;
        AfLog(4, "MassDeletionGuard.cpp", "CMassDeletionGuard::Apply", __LINE__,
              "Deletions held back: %zu of %zu synced items are gone from the service; they are "
              "not deleted locally until the user confirms",
              hold.iServerDeletes, synced);
        Hold(server.deleted, false, hold.heldTasks);
    }
    return hold;
}
