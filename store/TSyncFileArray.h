#pragma once
// The engine's memory of what is synchronised: one TSyncFile per file or folder that exists
// both locally and on the service, as it was when last synchronised, mirrored row by row in the
// table "FileInfo". The engine compares the disk and the service listing against it; the
// transfer worker updates it after every successful task.
//
// Rows keep load and insertion order. There is at most one row per iId and one per relative
// path, in memory and in the store (unique indexes): a row that takes an id or a path another
// row has replaces that row, so that a stale row and a new one never stand for one item (the
// comparison would take the one left unmatched for a deletion). Names repeat. Lookups use
// indexes. Store operations run connect, operation, disconnect; Add(TSyncFile), Modify and
// Delete(int) change the store first and memory only on success, so memory and store agree.
//
// A load that fails keeps the rows memory held and leaves the table not loaded (IsLoaded)
// until a load succeeds: a comparison against an empty or stale table would take every item
// for new on both sides, or undo changes.
//
// Threads: the engine's builder and watcher threads and the transfer worker. A reader-writer
// lock guards the rows: lookups share it, changes (store write included) hold it alone.
//
// Results: 0 or 101 success, 1001 when the table object is missing, else the table store's code.

#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "common/PackedFiles.h"
#include "common/SyncRecords.h"
#include "store/SyncFileRows.h"
#include "store/tablestore/TSyncFile.h"

class CTSyncFileArray {
  public:
    using const_iterator = std::vector<TSyncFile>::const_iterator;

    static CTSyncFileArray* Get();

    // Reads every stored row into memory in place of the rows held. On failure memory keeps
    // what it held and the table is not loaded until a reload succeeds.
    int ReLoad();
    // ReLoad; true when it succeeded.
    bool Refresh();
    // Empties memory only; the table is not loaded until the next reload.
    void Clear();
    // True when memory holds the stored table: the last load succeeded and memory has not been
    // cleared since. Comparisons are made only while it holds; a failed reload (logged) ends
    // it until a reload succeeds.
    bool IsLoaded() const;

    // Stores the row in place of the rows with its iId or path (one statement), then does the
    // same in memory, where it becomes the last row.
    int Add(TSyncFile file);
    // One connection for the range; each row takes its place in memory as above, then is
    // stored. A row that cannot be stored is logged and stays in memory. The last row's result
    // (0 for an empty range).
    int Add(const_iterator first, const_iterator last);
    // Stores the record in place of the stored row with its iId (or as a new row), dropping a
    // row of another id at its path, then does the same in memory to the row with iId nId, if
    // any (memory gets no new row).
    int Modify(int nId, TSyncFile file);
    // Removes the row with that iId from store, then memory.
    int Delete(int nId);
    // Rewrites the relative paths below a renamed folder (new, then old path, each with its
    // trailing backslash) in the store and reloads. Rows that stood at the new paths are
    // replaced. 1001 when one folder lies inside the other (not a rename). A failed reload
    // keeps memory as it was, paths below the old folder included, and the table not loaded.
    int UpdateFolderName(std::wstring newFolder, std::wstring oldFolder);

    // These forms do nothing and return 0.
    int Modify(std::wstring, std::wstring, TSyncFile);
    int Delete(std::wstring, int);
    int Delete(std::wstring, std::wstring);
    int Delete(const_iterator, const_iterator);

    bool Find(int nId) const;
    bool Find(const std::wstring& path) const;
    // Copy of the row with that id, or path.
    bool GetSyncFile(int nId, TSyncFile& out) const;
    bool GetSyncFile(const std::wstring& path, TSyncFile& out) const;
    // out is emptied, then receives every row with that name; true if any.
    bool GetSyncFile(const std::wstring& name, std::vector<TSyncFile>& out) const;
    // A copy of all rows, taken under the lock (a reference would be read while the worker
    // changes the rows).
    std::vector<TSyncFile> GetSyncFile() const;
    // All rows, packed, as they are now: what a comparison reads. The rows are shared, not
    // copied; changes made while the snapshot is held (by the comparison itself or by the
    // worker) do not reach it.
    std::shared_ptr<const CPackedFiles> Snapshot();
    // iId of the row with that path, or -1.
    int GetSyncFileID(const std::wstring& path) const;
    // 1 when a row has the same name, relative path, modify time, server time and type.
    int CheckCompleteSync(TSyncFile& file) const;

  private:
    CTSyncFileArray();
    int ReLoadLocked();
    // Runs op on the table object between connect and disconnect; a failed connect is logged
    // at level 1 with connectFormat.
    template <class Op>
    int OnTable(const char* function, int line, const char* connectFormat, Op op);

    CSyncFileRows m_rows;
    bool m_bLoaded = false;
    std::unique_ptr<CTSyncFile> m_pTable;
    mutable std::shared_mutex m_mutex;
};
