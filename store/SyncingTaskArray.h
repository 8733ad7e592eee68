#pragma once
// The queue of sync tasks between the engine, which builds them, and the transfer worker, which
// performs them one at a time from the front. Every queued task is also written to
// "SyncingTask" so that an interrupted transfer can be resumed after a restart; ReLoad keeps
// only that one task.
//
// Keys (iIdKey) are given by the queue: 1, 2, 3... in every run of the engine. The task that
// ReLoad keeps is stored again under key 1, so no later task of the run can get its key.
//
// Threads: the engine's threads push, clear and reorder; the worker reads the front, modifies
// and pops it. One lock guards the tasks and the key counter. The work signal is separate: a
// semaphore of maximum count 1, so many releases give one wake-up and the worker drains the
// whole queue per wake-up. The count of dropped tasks is an atomic that any thread reads.
//
// Copies into and out of the queue use TComand's assignment: the statement text stays behind.

#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

#include "common/SyncRecords.h"
#include "platform/SyncObjects.h"
#include "store/tablestore/SyncingTask.h"

class CSyncingTaskArray {
  public:
    using const_iterator = std::vector<TComand>::const_iterator;

    static CSyncingTaskArray* Get();

    // Engine start: keeps only the first stored task with a break point, empties the table and
    // stores that task again. The last store result.
    int ReLoad();

    // Gives the task a key, appends it and stores it (the memory copy stays if storing fails).
    int push_back(TComand task);
    // One connection (nothing is appended when it fails); each task gets a key, is appended
    // and stored; failures are logged and the loop goes on. The last result.
    int push_back(const_iterator first, const_iterator last);
    // Gives every task of the caller's vector a key (written back into it), stores them all in
    // one transaction, then appends copies whatever the store said.
    int push_back(std::vector<TComand>& tasks);

    // Removes the front task from store and memory (memory also when the store fails, but not
    // when the connect fails). An empty queue gives 0; the form without an argument logs it.
    int pop_front();
    int pop_front(TComand& out);
    // Removes the task of that key, wherever it stands, from store and memory in one locked
    // step, with pop_front's rules (memory also when the row cannot be deleted, not when the
    // store cannot be reached). 1001 when no queued task has the key (the queue was cleared
    // meanwhile): nothing changes, so a task pushed since then is never taken for it. The
    // worker removes its finished task with this.
    int RemoveTask(int nIdKey);
    // 1 with the front task, 0 when the queue is empty.
    int GetTask(TComand& out);
    // Stores the task under its key and overwrites the queued task of that key (the worker's
    // front task). 1001 when no queued task has the key (it was cleared meanwhile): nothing
    // changes, so a cleared task is not written back.
    int Modify(TComand& cmd);
    // Moves the task to the second place (the first is in progress): 0 for the front task, the
    // key of the task behind for the second one, its own key when moved, the number of tasks
    // when no task has the key. The table is not reordered.
    int AdjustTaskPriority(int nIdKey);
    // Moves the task of that key right behind the first task after it that gives the folder
    // at folderPath its row: its creation on the service (from the disk), or the service's
    // rename of a known folder to it (folderAbsolute, the absolute path such a rename names);
    // true when it was moved. The table is not reordered.
    bool MoveBehindFolderCreation(int nIdKey, const std::wstring& folderPath,
                                  const std::wstring& folderAbsolute);
    int HasTask();
    // Empties queue and table but keeps a front task that has a break point.
    int Clear();
    // How many tasks Clear has taken off the queue since the start (the kept one not counted):
    // tasks that left without running, so a wait for the queue to drain can tell a drained queue
    // from a dropped one.
    unsigned DroppedTasks() const { return m_uDropped.load(); }

    // Waits on the work signal (milliseconds; -1 waits without end): plat::WAIT_OBJECT_0 or
    // plat::WAIT_TIMEOUT.
    unsigned long Wait(int milliseconds);
    // Signals that there is work; any count above 0 gives one wake-up.
    void Release(int count);
    plat::SemaphorePtr GetSyncHandle() const { return m_hWork; }

  protected:
    void SetTaskID(std::vector<TComand>& tasks);
    int GetAutoTaskID();

  private:
    CSyncingTaskArray();
    // Runs op on the table between connect and disconnect; a failed connect is logged at
    // level 1 with connectFormat.
    template <class Op>
    int OnTable(const char* function, int line, const char* connectFormat, Op op);
    // AddTaskInfo, logged with the task on failure.
    static int StoreTask(CSyncingTask& table, const TComand& task);
    // The queued task of that key, or end().
    std::deque<TComand>::iterator FindTask(int nIdKey);
    int PopFront(TComand* out);
    // Deletes the queued task's row and, once the store was reached, the task; the caller
    // holds the lock. The store result.
    int EraseTask(std::deque<TComand>::iterator task, const char* function);
    // Stores the kept break-point task again and appends it, also when storing fails: the
    // interrupted transfer is never dropped from the queue.
    int Restore(const TComand& kept, const char* function, int line, const char* format);

    // A deque: the worker takes every task from the front, which must not move the rest.
    std::deque<TComand> m_tasks;
    std::mutex m_lock;
    plat::SemaphorePtr m_hWork;
    CSyncingTask m_table;
    int m_iAutoTaskId = 0;
    int m_iReservedId = -1;
    std::atomic<unsigned> m_uDropped{0};
};
