#pragma once
// The tasks that ended with an error, with their result code: kept in memory and in "FailSync",
// which the desktop client's detail window reads. The engine also asks it whether a task has
// failed before.
//
// Keys (iFailAutoKey) grow by one per entry and are never reused: ReLoad raises the counter to
// the largest stored key, so they stay unique across runs.
//
// Threads: the worker adds, the engine's threads reload, clear and check; one lock guards the
// entries and the counter. The "HasSyncFail" event (named, auto-reset) is signalled per entry.
//
// Results: 0 or 101 success, 1001 when the table object is missing, else the table store's code.

#include <memory>
#include <mutex>
#include <vector>

#include "common/SyncRecords.h"
#include "platform/SyncObjects.h"
#include "store/tablestore/SyncFail.h"

class CSyncFailArray {
  public:
    static CSyncFailArray* Get();

    // Reads the stored entries into memory (memory stays empty on failure, also a failed
    // connect, whose code is returned).
    int ReLoad();
    // Empties memory only; returns 0.
    int Clear();
    // Stores a new entry (retry marker 1) under the next key, then keeps it, sets nFailID to
    // its key and signals the fail event. It replaces the earlier entries of the same item
    // (origin, operation and relative path; for a rename also the new name), in store and in
    // memory: an item has one entry,
    // with its latest result and the newest key (an entry whose row cannot be deleted stays).
    // The key is used up even when storing fails; nFailID is -1 then and nothing is replaced.
    int Add(int errcode, TComand& task, int& nFailID);
    // Removes the entry from store, then from memory.
    int Delete(int nFailID);
    // Removes every entry of the item at that relative path, from store and then from memory
    // (an entry whose row cannot be deleted stays): a task of the item has just succeeded, so
    // its earlier failures no longer stand. 0 when the list held none.
    int DeleteItem(const std::wstring& relativePath);
    // Sets the retry marker of the entries in memory (the table has no update for it).
    int Modify(int nFailID, int bReTry);
    // 1 when an entry's task has the same origin, operation, and file name, server time,
    // modify time and relative path.
    int CheakSyncFail(TComand& task);
    // out is emptied, then receives a copy of every entry.
    void GetFialTask(std::vector<SyncFail>& out);
    plat::EventPtr GetEventHandle() const { return m_hFailEvent; }
    void SetFailEvent();

  protected:
    int GetAutoFailID();
    // Raises the counter to the largest key in memory.
    void InitAutoFailID();

  private:
    CSyncFailArray();
    // Runs op on the table object between connect and disconnect; a failed connect is logged
    // at level 1 with connectFormat.
    template <class Op>
    int OnTable(const char* function, int line, const char* connectFormat, Op op);
    static bool SameItem(const TComand& a, const TComand& b);
    // The keys of the entries whose task matches, in list order.
    template <class Pred>
    std::vector<int> KeysOf(Pred matches) const;
    // Deletes the rows of those keys, logging each failure under function; the keys deleted
    // are appended to deleted. The last row's result.
    static int DeleteRows(CSyncFail& table, const std::vector<int>& keys, const char* function,
                          std::vector<int>& deleted);
    // Drops the entries of those keys from memory.
    void EraseKeys(const std::vector<int>& keys);

    std::vector<SyncFail> m_fails;
    int m_iAutoFailId = 0;
    std::unique_ptr<CSyncFail> m_pTable;
    plat::EventPtr m_hFailEvent;
    std::mutex m_mutex;
};
