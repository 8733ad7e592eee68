#pragma once
// Which entries of the fail list still fail once a `sync --wait` has its answer. The fail list
// keeps an item's latest failure until a task of the item succeeds, also when the item was
// synced otherwise since, so it alone does not tell; a failure made before the request is not
// always tried again by the comparison either (uploads wait for the 30-second sync while the
// account's space is full).
//
// Any thread; reads the local files it asks about.

#include <string>
#include <vector>

#include "common/SyncRecords.h"

// The newest entry of each item (origin, operation and path) that still fails: made after
// the request (its key above lastKeyBefore), or an upload of a file that is still there and
// that no row of the local file table (table) holds with its content.
std::vector<SyncFail> StillFailing(const std::vector<SyncFail>& fails, int lastKeyBefore,
                                   const std::vector<TSyncFile>& table,
                                   const std::wstring& syncDir);
