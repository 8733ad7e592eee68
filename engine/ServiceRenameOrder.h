#pragma once
// The order in which the worker applies the service's renames of one comparison. The worker
// renames one item at a time, from where it is on disk by then to the path the listing gives
// it. A rename below a folder the service renamed too starts from the folder's new path, so
// the folder goes first. A rename onto a path that another rename of the same comparison
// vacates (d1 -> d2, then d0 -> d1) waits for that one: run first, it would merge d0 into the
// d1 still there, and the second rename would carry d0's items away into d2.
//
// Threads: the thread that runs the offline comparison.

#include <string>
#include <vector>

#include "common/SyncRecords.h"

// Reorders renamed (the server group's renamed list: relative old path, absolute old and new
// names) so that each rename comes after the renames of the folders above its item and after
// any rename whose item still stands at its new path or at a folder above it, else in the
// list's order; and points each old path and old name at where the item is once the renames
// before it ran. Renames that wait on one another in a ring (folders that swapped names) run
// in the list's order.
void OrderServiceRenames(std::vector<TSyncFile>& renamed, const std::wstring& syncDir);
