#pragma once
// Tells the user of the service's entries whose names cannot become local names ("", ".", ".."
// or holding "/", "\", NUL or a control character): each stands in the fail list under
// SYNC_FAIL_UNUSABLE_NAME, so that the client's list of what was not synchronised shows it.
// Every comparison's listing gives the whole set: entries listed already stay as they are, new
// ones are added, and those the service no longer has under such a name leave the list.
// Nothing is ever created on disk for them.
//
// Threads: the thread that runs the offline comparison; the fail list locks itself.

#include <string>
#include <vector>

#include "common/SyncRecords.h"

class CUnusableNameReport {
  public:
    // The name as the list shows it: U+FFFD for each character a local name cannot hold, and
    // for every character of "", "." and ".." (one for the empty name). Never a path.
    static std::wstring ShownName(const std::wstring& name);
    // The record of the refused entry for the list: its name shown, below parentPath.
    static TSyncFile Shown(TSyncFile entry, const std::wstring& parentPath);
    // Brings the fail list in line with the refused entries of one listing (records made by
    // Shown).
    static void Publish(const std::vector<TSyncFile>& refused);

  private:
    static TComand TaskOf(const TSyncFile& entry);
};
