#pragma once
// The tasks that ended successfully. They are written to "SyncCompleted" only (the desktop
// client's detail window reads that table); memory holds nothing but the key counter.
//
// Keys (iCmpdAutoKey) grow by one per entry and are never reused within a run; ReLoad sets the
// counter to the largest stored key, so they stay unique across runs.
//
// Threads: the worker adds, the engine reloads; one lock guards the counter and the table
// object.
//
// Results: 0 or 101 success, 1001 when the table object is missing, else the table store's code.

#include <memory>
#include <mutex>
#include <vector>

#include "common/SyncRecords.h"
#include "store/tablestore/SyncCompleted.h"

class CSyncCompletedArray {
  public:
    static CSyncCompletedArray* Get();

    // Sets the key counter from the stored entries.
    int ReLoad();
    // Stores the task under the next key (used up even when storing fails).
    int Add(TComand& task);
    int Delete(int nCmpdID);

  protected:
    int GetAutoCmpdID();
    // Raises the counter to the largest key read, then forgets the entries.
    void InitAutoCmpdID();

  private:
    CSyncCompletedArray();
    // Runs op on the table object between connect and disconnect; a failed connect is logged
    // at level 1 with connectFormat.
    template <class Op>
    int OnTable(const char* function, int line, const char* connectFormat, Op op);

    std::vector<SyncCompleted> m_completed;
    std::unique_ptr<CSyncCompleted> m_pTable;
    int m_iAutoCmpdId = 0;
    std::mutex m_mutex;
};
