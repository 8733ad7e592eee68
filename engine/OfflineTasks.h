#pragma once
// Turns the two change groups of one offline comparison into tasks, in the order the worker
// must apply them: local deletions, local additions, local modifications (each a delete and an
// add), then the service's renames, deletions, additions and modifications. A service
// modification deletes the file under its local name and adds it under the service's name, so
// a file renamed and changed on the service arrives under its new name.
//
// Threads: the thread that runs the offline comparison.

#include <vector>

#include "common/SyncRecords.h"
#include "engine/ChangeGroup.h"

// Empties tasks and fills it from the groups: origin 1 for the disk group, 0 for the server
// group; the disk group's renamed list is not used.
void BuildOfflineTasks(const TChangeGroup& disk, const TChangeGroup& server,
                       std::vector<TComand>& tasks);

// Replaces what earlier comparisons planned in the server temporary set with the server group
// (added, deleted, modified, renamed, in that order), so that the disk echoes of these changes
// are not sent back to the service. A rename is also recorded as an addition of its new name:
// that is how its echo arrives once the table holds the new name. The entries of files moved
// aside as conflict copies stay: their echoes may still be on their way.
void RefillServerTemporary(const TChangeGroup& server);
