#include "engine/CallbackDiskM.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "platform/DirectoryWatch.h"
#include "store/SyncTemporary.h"
#include "store/TSyncFileArray.h"

namespace {

// What the relative form of a notified path allows.
enum class PathUse {
    Synced,
    Hidden,     // a name on the way starts with "."; the disk scan skips it too
    NotUtf8,    // a name that was not valid UTF-8 (the watcher reports it with U+FFFD)
    Backslash,  // a name holds a backslash, which the relative form cannot carry
};

bool HasHiddenComponent(const std::wstring& wstrRelative) {
    // ".\a\.git\b": every name follows a backslash.
    for (std::size_t pos = wstrRelative.find(L'\\'); pos != std::wstring::npos;
         pos = wstrRelative.find(L'\\', pos + 1)) {
        if (pos + 1 < wstrRelative.size() && wstrRelative[pos + 1] == L'.') {
            return true;
        }
    }
    return false;
}

PathUse JudgePath(const std::wstring& wstrRelative) {
    if (!wstrRelative.starts_with(L".\\")) {
        return PathUse::Backslash;  // GetRelatePath gives the full path back unchanged
    }
    if (wstrRelative.find(L'\uFFFD') != std::wstring::npos) {
        return PathUse::NotUtf8;
    }
    return HasHiddenComponent(wstrRelative) ? PathUse::Hidden : PathUse::Synced;
}

void LogSkipped(PathUse use, const std::wstring& wstrPath) {
    if (use == PathUse::NotUtf8) {
        AfLog(1, __FILE_NAME__, "CCallbackDiskM::BuildBatch", __LINE__,
              "%s is not synchronised: its name is not valid UTF-8",
              WstringToString(wstrPath).c_str());
    } else if (use == PathUse::Backslash) {
        AfLog(1, __FILE_NAME__, "CCallbackDiskM::BuildBatch", __LINE__,
              "%s is not synchronised: a name in it holds a backslash",
              WstringToString(wstrPath).c_str());
    }
}

TComand MakeTask(int iOper, const std::wstring& wstrPath, const std::wstring& wstrRelative) {
    TComand task;
    task.iType = 1;  // from the local disk
    task.iOper = iOper;
    task.tSyncFile.strName = GetFileName(wstrPath);
    task.tSyncFile.strRelativePath = wstrRelative;
    task.tSyncFile.iType = JudgeFolder(wstrPath);
    return task;
}

// Builds the tasks of one batch: the relative paths and the table lookups of the entries.
class CBatchBuilder {
  public:
    explicit CBatchBuilder(const std::wstring& wstrSyncDir) : m_wstrSyncDir(wstrSyncDir) {}

    std::wstring Relative(const std::wstring& wstrPath) const {
        return GetRelatePath(wstrPath, m_wstrSyncDir);
    }

    // An item that exists now and whose name is synced; false (with a log line for a name
    // that cannot be synced) otherwise.
    bool Syncable(const std::wstring& wstrPath, const std::wstring& wstrRelative) const {
        PathUse use = JudgePath(wstrRelative);
        LogSkipped(use, wstrPath);
        return use == PathUse::Synced && JudgeFolder(wstrPath) != -1;
    }

    void Added(const std::wstring& wstrPath) {
        std::wstring wstrRelative = Relative(wstrPath);
        if (!Syncable(wstrPath, wstrRelative)) {
            return;
        }
        TComand task = MakeTask(OPER_ADD, wstrPath, wstrRelative);
        int iHidden = 0;
        GetFileInfo(wstrPath, task.tSyncFile.strModifyTime, task.tSyncFile.strFileSize, iHidden);
        m_batch.push_back(std::move(task));
    }

    // Only what the table knows was ever synced; removing anything else needs no task.
    void Removed(const std::wstring& wstrPath) {
        std::wstring wstrRelative = Relative(wstrPath);
        if (JudgePath(wstrRelative) != PathUse::Synced ||
            !CTSyncFileArray::Get()->Find(wstrRelative)) {
            return;
        }
        m_batch.push_back(MakeTask(OPER_DELETE, wstrPath, wstrRelative));
    }

    // A rename task needs a synced old item and a syncable new one. Otherwise it is what the
    // comparison would find: the new name added (the old one was never synced or cannot be),
    // or the old one removed (the new name is not synced or is already gone again).
    void Renamed(const std::wstring& wstrOldPath, const std::wstring& wstrNewPath) {
        std::wstring wstrOldRelative = Relative(wstrOldPath);
        std::wstring wstrNewRelative = Relative(wstrNewPath);
        bool bOldSynced = JudgePath(wstrOldRelative) == PathUse::Synced &&
                          CTSyncFileArray::Get()->Find(wstrOldRelative);
        bool bNewSyncable = Syncable(wstrNewPath, wstrNewRelative);
        if (!bOldSynced) {
            if (bNewSyncable) {
                Added(wstrNewPath);
            }
            return;
        }
        if (!bNewSyncable) {
            Removed(wstrOldPath);
            return;
        }
        TComand task = MakeTask(OPER_RENAME, wstrOldPath, wstrOldRelative);
        TSyncFile& file = task.tSyncFile;
        file.dataExtension.eType = 2;
        file.dataExtension.dataReName.wstrOldName = file.strName;
        file.dataExtension.dataReName.wstrNewName = GetFileName(wstrNewPath);
        int iHidden = 0;
        GetFileInfo(wstrNewPath, file.strModifyTime, file.strFileSize, iHidden);
        file.iType = JudgeFolder(wstrNewPath);
        m_batch.push_back(std::move(task));
    }

    std::vector<TComand> Take() { return std::move(m_batch); }

  private:
    const std::wstring& m_wstrSyncDir;
    std::vector<TComand> m_batch;
};

std::string CauseText(unsigned int uCauses) {
    std::string text;
    auto add = [&](unsigned int uBit, const char* name) {
        if (uCauses & uBit) {
            text += text.empty() ? name : std::string(", ") + name;
        }
    };
    add(DISK_CAUSE_EVENTS_LOST, "changes were lost");
    add(DISK_CAUSE_FOLDERS_UNWATCHED, "folders could not be watched");
    add(DISK_CAUSE_SYNCDIR_REPLACED, "the sync directory was replaced");
    add(DISK_CAUSE_CONTENT_MODIFIED, "files were written");
    return text;
}

}  // namespace

CCallbackDiskM::CCallbackDiskM(std::wstring wstrSyncDir)
    : m_wstrSyncDir(std::move(wstrSyncDir)), m_hWake(plat::CreateEvent(false, false)) {}

CCallbackDiskM::~CCallbackDiskM() {
    Stop();
}

void CCallbackDiskM::SetBatchCallback(BatchCallback fnBatch) {
    std::lock_guard<std::mutex> guard(m_csCallbacks);
    m_fnBatch = std::move(fnBatch);
}

void CCallbackDiskM::SetOfflineSyncCallback(OfflineSyncCallback fnOfflineSync) {
    std::lock_guard<std::mutex> guard(m_csCallbacks);
    m_fnOfflineSync = std::move(fnOfflineSync);
}

void CCallbackDiskM::SetRewatchCallback(RewatchCallback fnRewatch) {
    std::lock_guard<std::mutex> guard(m_csCallbacks);
    m_fnRewatch = std::move(fnRewatch);
}

void CCallbackDiskM::SetWatching(bool bWatching) {
    m_bWatching = bWatching;
    // The handler thread drops its timers at once rather than when they fall due.
    plat::SetEvent(m_hWake);
}

std::size_t CCallbackDiskM::GetPendingCount() const {
    std::lock_guard<std::mutex> guard(m_csPending);
    return m_nPending;
}

void CCallbackDiskM::FileAdded(const std::wstring& wstrFileName) {
    Append(OPER_ADD, wstrFileName);
}

void CCallbackDiskM::FileRemoved(const std::wstring& wstrFileName) {
    Append(OPER_DELETE, wstrFileName);
}

void CCallbackDiskM::FileRenamed(const std::wstring& wstrOldFileName,
                                 const std::wstring& wstrNewFileName) {
    Append(OPER_RENAME, wstrOldFileName, wstrNewFileName);
}

void CCallbackDiskM::FileModified(const std::wstring& wstrFileName) {
    Append(OPER_MODIFY, wstrFileName);
}

void CCallbackDiskM::ReadError(plat::DWORD dwError, const std::wstring& wstrDirectoryName) {
    AfLog(4, __FILE_NAME__, "CCallbackDiskM::ReadError", __LINE__, "watch of %s: error %u",
          WstringToString(wstrDirectoryName).c_str(), dwError);
    {
        std::lock_guard<std::mutex> guard(m_csPending);
        if (dwError == plat::ERROR_NOTIFY_ENUM_DIR) {
            m_uReportedCauses |= DISK_CAUSE_EVENTS_LOST;
        } else if (dwError == plat::ERROR_NOT_ENOUGH_QUOTA) {
            m_uReportedCauses |= DISK_CAUSE_FOLDERS_UNWATCHED;
        } else if (dwError == plat::ERROR_PATH_NOT_FOUND) {
            m_bSyncDirGone = true;
        } else {
            return;
        }
    }
    plat::SetEvent(m_hWake);
}

void CCallbackDiskM::Append(int iKind, const std::wstring& wstrPath1,
                            const std::wstring& wstrPath2) {
    if (iKind != OPER_MODIFY) {
        // Told before the batch waits, while the entry of an echo is surely still there.
        CSyncTemporary::Get()->Observed(GetRelatePath(wstrPath1, m_wstrSyncDir));
        if (!wstrPath2.empty()) {
            CSyncTemporary::Get()->Observed(GetRelatePath(wstrPath2, m_wstrSyncDir));
        }
    }
    bool bWasEmpty = false;
    {
        std::lock_guard<std::mutex> guard(m_csPending);
        const Clock::TimePoint now = Clock::Now();
        bWasEmpty = m_pending.empty();
        if (bWasEmpty) {
            m_tFirstPending = now;
        }
        m_tLastPending = now;
        m_pending.push_back({iKind, wstrPath1, wstrPath2});
        ++m_nPending;
    }
    if (bWasEmpty) {
        plat::SetEvent(m_hWake);
    }
}

int CCallbackDiskM::Run() {
    while (!m_bQuit) {
        plat::WaitForSingleObject(m_hWake, MillisecondsToNextDue());
        if (m_bQuit) {
            break;
        }
        try {
            RunDueWork();
        } catch (const std::exception& e) {
            // The batch is lost; the next comparison finds its changes.
            AfLog(4, __FILE_NAME__, "CCallbackDiskM::Run", __LINE__, "a disk batch failed: %s",
                  e.what());
        }
    }
    return 0;
}

int CCallbackDiskM::Stop() {
    m_bQuit = true;
    plat::SetEvent(m_hWake);
    int nRet = CThreadMgr::Stop();
    if (nRet == 0) {
        m_bQuit = false;  // a later Start runs the thread again
    }
    return nRet;
}

plat::DWORD CCallbackDiskM::MillisecondsToNextDue() {
    std::optional<Clock::TimePoint> due;
    auto consider = [&due](Clock::TimePoint t) { due = due ? std::min(*due, t) : t; };
    {
        std::lock_guard<std::mutex> guard(m_csPending);
        if (m_uReportedCauses != 0 || m_bSyncDirGone) {
            return 0;
        }
        if (!m_pending.empty()) {
            consider(std::min(m_tLastPending + Clock::Duration(kBatchQuietMs),
                              m_tFirstPending + Clock::Duration(kBatchMaxDelayMs)));
        }
    }
    if (m_tModifyLast) {
        consider(std::min(*m_tModifyLast + Clock::Duration(kModifyQuietMs),
                          *m_tModifyFirst + Clock::Duration(kModifyMaxDelayMs)));
    }
    if (m_tRewatchDue) {
        consider(*m_tRewatchDue);
    }
    if (!due) {
        return plat::INFINITE;
    }
    auto wait = std::chrono::duration_cast<Clock::Duration>(*due - Clock::Now()).count();
    return static_cast<plat::DWORD>(std::max<decltype(wait)>(wait, 0));
}

void CCallbackDiskM::RunDueWork() {
    const Clock::TimePoint now = Clock::Now();
    unsigned int uCauses = 0;
    bool bSyncDirGone = false;
    std::list<CDiskEntry> entries = TakeDueEntries(now, uCauses, bSyncDirGone);
    if (!entries.empty()) {
        std::vector<TComand> batch = BuildBatch(entries, now);
        BatchCallback fnBatch;
        {
            std::lock_guard<std::mutex> guard(m_csCallbacks);
            fnBatch = m_fnBatch;
        }
        if (!batch.empty() && fnBatch) {
            fnBatch(std::move(batch));
        }
    }
    if (!m_bWatching) {
        m_tModifyFirst.reset();
        m_tModifyLast.reset();
        m_tRewatchDue.reset();
        m_bRewatchLogged = false;
        return;
    }
    if (bSyncDirGone) {
        m_tRewatchDue = now;
    }
    uCauses |= TakeDueTimers(now);
    if (uCauses == 0) {
        return;
    }
    AfLog(1, __FILE_NAME__, "CCallbackDiskM::RunDueWork", __LINE__,
          "offline comparison requested: %s", CauseText(uCauses).c_str());
    OfflineSyncCallback fnOfflineSync;
    {
        std::lock_guard<std::mutex> guard(m_csCallbacks);
        fnOfflineSync = m_fnOfflineSync;
    }
    if (fnOfflineSync) {
        fnOfflineSync(uCauses);
    }
}

std::list<CCallbackDiskM::CDiskEntry> CCallbackDiskM::TakeDueEntries(Clock::TimePoint now,
                                                                     unsigned int& uCauses,
                                                                     bool& bSyncDirGone) {
    std::list<CDiskEntry> entries;
    std::lock_guard<std::mutex> guard(m_csPending);
    uCauses = std::exchange(m_uReportedCauses, 0);
    bSyncDirGone = std::exchange(m_bSyncDirGone, false);
    if (!m_pending.empty() && (now >= m_tLastPending + Clock::Duration(kBatchQuietMs) ||
                               now >= m_tFirstPending + Clock::Duration(kBatchMaxDelayMs))) {
        entries.swap(m_pending);
        m_nPending = 0;
    }
    return entries;
}

std::vector<TComand> CCallbackDiskM::BuildBatch(const std::list<CDiskEntry>& entries,
                                                Clock::TimePoint now) {
    CBatchBuilder builder(m_wstrSyncDir);
    for (const CDiskEntry& entry : entries) {
        switch (entry.iKind) {
            case OPER_ADD:
                builder.Added(entry.wstrPath1);
                break;
            case OPER_DELETE:
                builder.Removed(entry.wstrPath1);
                break;
            case OPER_RENAME:
                builder.Renamed(entry.wstrPath1, entry.wstrPath2);
                break;
            case OPER_MODIFY:
                // New content is found by the comparison; writes to items that are not synced
                // (under .git/, say) ask for none.
                if (JudgePath(builder.Relative(entry.wstrPath1)) == PathUse::Synced) {
                    NoteModified(now);
                }
                break;
            default:
                break;
        }
    }
    return builder.Take();
}

void CCallbackDiskM::NoteModified(Clock::TimePoint now) {
    if (!m_tModifyFirst) {
        m_tModifyFirst = now;
    }
    m_tModifyLast = now;
}

unsigned int CCallbackDiskM::TakeDueTimers(Clock::TimePoint now) {
    unsigned int uCauses = 0;
    if (m_tModifyLast && (now >= *m_tModifyLast + Clock::Duration(kModifyQuietMs) ||
                          now >= *m_tModifyFirst + Clock::Duration(kModifyMaxDelayMs))) {
        uCauses |= DISK_CAUSE_CONTENT_MODIFIED;
        m_tModifyFirst.reset();
        m_tModifyLast.reset();
    }
    if (m_tRewatchDue && now >= *m_tRewatchDue) {
        RewatchCallback fnRewatch;
        {
            std::lock_guard<std::mutex> guard(m_csCallbacks);
            fnRewatch = m_fnRewatch;
        }
        if (fnRewatch && fnRewatch()) {
            AfLog(1, __FILE_NAME__, "CCallbackDiskM::TakeDueTimers", __LINE__,
                  "%s is watched again", WstringToString(m_wstrSyncDir).c_str());
            uCauses |= DISK_CAUSE_SYNCDIR_REPLACED;
            m_tRewatchDue.reset();
            m_bRewatchLogged = false;
        } else {
            if (!std::exchange(m_bRewatchLogged, true)) {
                AfLog(4, __FILE_NAME__, "CCallbackDiskM::TakeDueTimers", __LINE__,
                      "%s is gone; it is watched again once it is back",
                      WstringToString(m_wstrSyncDir).c_str());
            }
            m_tRewatchDue = now + Clock::Duration(kRewatchRetryMs);
        }
    }
    return uCauses;
}
