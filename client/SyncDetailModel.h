#pragma once
// What the sync detail window shows, without the widgets: the syncing, completed and failed
// lists read from the store and kept current from the engine's messages, the speed of the
// first syncing row, the status line and the record counts.
//
// Threads: the window's UI thread only; the message callbacks are moved onto it by the
// window. m_listLock guards the syncing list for loading and row moves, as the store may be
// read while a move arrives.

#include <mutex>
#include <string>
#include <vector>

#include "common/SyncRecords.h"

struct SyncingRow {
    std::wstring name;
    std::wstring size;
    std::wstring speed;
    std::wstring priority;
    std::wstring progress;
    std::wstring fullPath;
    std::wstring id;  // the task key in decimal
    long long bytes = 0;
};

struct CompletedRow {
    std::wstring name;
    std::wstring size;
    std::wstring time;
    std::wstring view;
    std::wstring fullPath;
};

struct FailedRow {
    std::wstring name;
    std::wstring reason;
    std::wstring view;
    std::wstring fullPath;
};

class CSyncDetailModel {
  public:
    // syncDir: the sync directory, for the full paths.
    explicit CSyncDetailModel(std::wstring syncDir) : m_syncDir(std::move(syncDir)) {}

    // "%sKB" of the size in bytes / 1000, at least 1, grouped by thousands.
    static std::wstring SizeText(const std::string& bytes);
    // The failed list's reason of a fail record's errcode.
    static std::wstring ReasonText(int errcode);
    // The estimate of the status line, from bytes left and a mean speed in bytes per second.
    static std::wstring DurationText(long long bytes, long long bytesPerSecond);

    // Reads the syncing list; true when there are tasks (the window then asks for speeds).
    bool LoadSync();
    void LoadCompleted();
    void LoadFailed();

    // MSG_SYNC_STATUS. Returns true when the syncing list was read again.
    bool OnSyncStatus(int state);
    // MSG_TASK_COMPLETED: false (nothing changed) when the store has no completed record.
    bool OnCompleteSingleTask(int idKey);
    // MSG_TASK_FAILED: false when the store has no fail record.
    bool OnFailSingleTask(int idKey);
    void DeleteASingleSyncing(int idKey);
    // MSG_ADJUST_PRIORITY_RESULT: the task moved to the second place when the result is its
    // own key.
    void OnAdjustPriorityResult(int idKey, int result);
    // MSG_SPEED: byte counters of the transfers; the first row shows the rate since the last.
    void OnSpeed(unsigned upload, unsigned download, bool stopped);
    // MSG_MEANSPEED.
    void OnMeanSpeed(unsigned upload, unsigned download);
    // Clear records: empties the store's completed list and the page.
    void ClearCompleted();

    std::vector<SyncingRow> Syncing() const;
    const std::vector<CompletedRow>& Completed() const { return m_completed; }
    const std::vector<FailedRow>& Failed() const { return m_failed; }
    std::wstring StatusText() const;
    // "共%d条同步记录" of a list.
    static std::wstring CountText(size_t count);
    bool ProgressVisible() const { return m_progressVisible; }
    int State() const { return m_state; }
    void SetState(int state) { m_state = state; }

  private:
    SyncingRow RowOf(const TComand& task) const;
    CompletedRow CompletedRowOf(const SyncCompleted& record) const;
    FailedRow FailedRowOf(const SyncFail& record) const;
    std::wstring FullPath(const TComand& task) const;

    std::wstring m_syncDir;
    mutable std::mutex m_listLock;
    std::vector<SyncingRow> m_syncing;  // guarded by m_listLock
    std::vector<CompletedRow> m_completed;
    std::vector<FailedRow> m_failed;
    int m_state = 0;
    unsigned m_lastSpeed = 0;
    unsigned m_meanSpeed = 0;
    bool m_progressVisible = false;
    bool m_allDone = false;
};
