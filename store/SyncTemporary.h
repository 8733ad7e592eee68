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
// An entry lives until its echo has been matched, or until kEchoLifetime has passed (on
// plat::Clock) since its operation completed: the watcher reports a change some time after the
// disk saw it, so an entry must outlive the end of its transfer, but an echo that never came
// must not swallow a real change of that item later on. The transfer worker marks the entries
// of each task it finishes as completed, and every entry still waiting once the queue has
// drained (its task was dropped, or never built).
//
// Most entries are what a comparison planned; the next comparison replaces them. A move of a
// local file aside as a conflict copy is the engine's own change, made at once and planned by
// nobody: its entry stays until its echo or its time, whatever comparisons run meanwhile.
//
// Threads: the engine's threads and the transfer worker; one lock guards the lists.

#include <mutex>
#include <optional>
#include <vector>

#include "common/SyncRecords.h"
#include "platform/Clock.h"

class CSyncTemporary {
  public:
    // How long an entry waits for its echo once its operation has completed.
    static constexpr plat::Clock::Duration kEchoLifetime = std::chrono::seconds(10);

    static CSyncTemporary* Get();

    // OPER_MODIFY goes to deletions and additions (a modification echoes as a delete and an
    // add), OPER_ADD to additions, OPER_DELETE to deletions, OPER_RENAME to renames. The entry
    // waits for its operation to complete.
    void Add(TSyncFile file, E_Oper eOper);
    // Like Add, for a change the engine makes on disk itself right after the call (a file
    // moved aside as a conflict copy): its countdown starts at once, and ClearPlanned keeps it.
    void AddOwnChange(TSyncFile file, E_Oper eOper);
    // 1 (and the first matching entry is removed) when the change is an echo; 0 otherwise and
    // for any kind but add, delete and rename.
    int CheckServerSyncFile(TSyncFile& file, E_Oper eOper);
    // Removes every matching entry of that kind's list.
    void Delete(TSyncFile file, E_Oper eOper);
    // The operation on file has completed: the entries of every list that match it expire
    // kEchoLifetime from now.
    void Complete(const TSyncFile& file);
    // Every operation has completed: entries still waiting for theirs expire kEchoLifetime
    // from now.
    void CompleteAll();
    // The watcher has reported a change at this relative path: the entries of every list that
    // match it no longer expire until the next Complete or CompleteAll, so an echo that the
    // watcher has already seen is never let through because the disk monitor's batching and
    // the filter chain took longer than kEchoLifetime to reach it.
    void Observed(const std::wstring& relativePath);
    // 1 when the additions or the deletions list holds an entry (renames do not count).
    int IsServerSync();
    // Empties every list.
    void Clear();
    // A comparison is about to record its own tasks: the entries earlier comparisons planned go
    // (what is still to do is planned again), those of AddOwnChange stay.
    void ClearPlanned();

  private:
    struct TEntry {
        TSyncFile file;
        std::optional<plat::Clock::TimePoint> expires;  // none while the operation runs
        bool bOwnChange = false;                        // added by AddOwnChange
    };

    CSyncTemporary() = default;
    // Appends the entry to the lists of that kind (as Add does), under the lock.
    void Push(TEntry entry, E_Oper eOper);
    // The list of that kind, or null.
    std::vector<TEntry>* List(E_Oper eOper);
    // Drops the entries whose time is up; the caller holds the lock.
    void DropExpired();

    std::vector<TEntry> m_added;
    std::vector<TEntry> m_deleted;
    std::vector<TEntry> m_renamed;
    std::mutex m_mutex;
};
