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
    // bDisk: the local deletions, which delete on the service; else the service's.
    auto decide = [&](std::vector<TSyncFile>& deleted, bool bDisk, bool& bHeld) {
        if (!TooMany(deleted.size(), synced)) {
            return;
        }
        bHeld = true;
        AfLog(4, "MassDeletionGuard.cpp", "CMassDeletionGuard::Apply", __LINE__,
              "Deletions held back: %zu of %zu synced items are gone from %s; they are not "
              "deleted %s until the user confirms",
              deleted.size(), synced, bDisk ? "the sync directory" : "the service",
              bDisk ? "on the service" : "locally");
        Hold(deleted, bDisk, hold.heldTasks);
    };
    decide(disk.deleted, true, hold.bDiskHeld);
    decide(server.deleted, false, hold.bServerHeld);
    return hold;
}
