#pragma once
// The items the system itself is changing on disk. When the engine applies a change from the
// service to the local disk, the directory watcher reports that very change back as a disk
// change (its echo); this set lets the engine recognise and swallow those echoes instead of
// sending them back to the service.
//
// Three lists of copies of the file records: additions, deletions, renames. An entry matches a
// file with the same non-zero iId or the same non-empty relative path (an id of 0 is an item
// the service has not numbered yet and identifies nothing).
//
// Threads: the engine's threads and the transfer worker; one lock guards the lists.

#include <mutex>
#include <vector>

#include "common/SyncRecords.h"

class CSyncTemporary {
  public:
    static CSyncTemporary* Get();

    // OPER_MODIFY goes to deletions and additions (a modification echoes as a delete and an
    // add), OPER_ADD to additions, OPER_DELETE to deletions, OPER_RENAME to renames.
    void Add(TSyncFile file, E_Oper eOper);
    // 1 (and the first matching entry is removed) when the change is an echo; 0 otherwise and
    // for any kind but add, delete and rename.
    int CheckServerSyncFile(TSyncFile& file, E_Oper eOper);
    // Removes every matching entry of that kind's list.
    void Delete(TSyncFile file, E_Oper eOper);
    // 1 when the additions or the deletions list is not empty (renames do not count).
    int IsServerSync();
    // Empties additions and deletions; renames are kept.
    void Clear();

  private:
    CSyncTemporary() = default;
    // The list of that kind, or null.
    std::vector<TSyncFile>* List(E_Oper eOper);

    std::vector<TSyncFile> m_added;
    std::vector<TSyncFile> m_deleted;
    std::vector<TSyncFile> m_renamed;
    std::mutex m_mutex;
};
