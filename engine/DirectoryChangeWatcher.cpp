#include "engine/DirectoryChangeWatcher.h"

#include "common/AfLog.h"
#include "common/Utility.h"
#include "engine/DelayedDirectoryChangeHandler.h"
#include "engine/WatchTree.h"
#include "platform/FileSystem.h"
#include "platform/SyncObjects.h"

namespace {

enum RunState {
    RUN_STATE_IDLE = 0,
    RUN_STATE_START_REQUESTED = 1,
    RUN_STATE_STOP_REQUESTED = 2,
    RUN_STATE_STOPPED = 3,
    RUN_STATE_WATCHING = 5,
};

// Paths are compared as the file system compares names: exactly (case matters on Linux).
std::wstring ComparablePath(std::wstring wstrPath) {
    while (wstrPath.size() > 1 && wstrPath.back() == L'/') {
        wstrPath.pop_back();
    }
    return wstrPath;
}

}  // namespace

// One watched directory. Created by Watch; from then on its run state is changed under m_cs by
// the thread that watches or unwatches it and by the I/O thread, which alone uses the tree
// once the start request has been posted. The thread that takes it out of the list frees it,
// after the I/O thread has answered its stop request.
class CDirectoryChangeWatcher::CDirWatchInfo {
  public:
    CDirWatchInfo(CDirectoryChangeHandler* pRealHandler, const std::wstring& wstrDirName,
                  plat::DWORD dwChangeFilter)
        : m_pChangeHandler(new CDelayedDirectoryChangeHandler(pRealHandler, wstrDirName)),
          m_tree(wstrDirName, dwChangeFilter, *m_pChangeHandler),
          m_wstrDirName(wstrDirName),
          m_hStartStopEvent(plat::CreateEvent(true, false)) {}
    ~CDirWatchInfo() {
        m_tree.Close();
        m_pChangeHandler->Release();
    }
    CDirWatchInfo(const CDirWatchInfo&) = delete;
    CDirWatchInfo& operator=(const CDirWatchInfo&) = delete;

    std::uintptr_t Key() { return reinterpret_cast<std::uintptr_t>(this); }
    bool Watches(const std::wstring& wstrDir) const {
        return ComparablePath(m_wstrDirName) == ComparablePath(wstrDir);
    }
    CDirectoryChangeHandler* RealHandler() const {
        return m_pChangeHandler->GetRealChangeHandler();
    }

    int GetRunState() {
        std::lock_guard<std::mutex> guard(m_cs);
        return m_RunningState;
    }
    void SetRunState(int iState) {
        std::lock_guard<std::mutex> guard(m_cs);
        m_RunningState = iState;
    }

    CDelayedDirectoryChangeHandler* const m_pChangeHandler;  // one reference held
    CWatchTree m_tree;                                       // open while watched
    const std::wstring m_wstrDirName;
    const plat::EventPtr m_hStartStopEvent;  // manual reset; set by the I/O thread
    // Written by the I/O thread before it sets m_hStartStopEvent.
    plat::DWORD m_dwReadDirError = 0;
    bool m_bWatchStoppedPosted = false;  // the stop found the watch running

  private:
    std::mutex m_cs;
    int m_RunningState = RUN_STATE_IDLE;  // guarded by m_cs
};

CDirectoryChangeWatcher::CDirectoryChangeWatcher() = default;

CDirectoryChangeWatcher::~CDirectoryChangeWatcher() {
    UnwatchAll();
}

plat::DWORD CDirectoryChangeWatcher::Watch(const std::wstring& wstrDirToWatch,
                                           plat::DWORD dwChangesToWatchFor,
                                           CDirectoryChangeHandler* pChangeHandler) {
    if (wstrDirToWatch.empty() || dwChangesToWatchFor == 0 || pChangeHandler == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!plat::GetFileStatus(WstringToString(wstrDirToWatch)).bFolder) {
        return ERROR_BAD_PATHNAME;
    }
    std::lock_guard<std::mutex> guard(m_csWatch);
    Unwatch(wstrDirToWatch);
    std::unique_ptr<CDirWatchInfo> pInfo;
    try {
        pInfo =
            std::make_unique<CDirWatchInfo>(pChangeHandler, wstrDirToWatch, dwChangesToWatchFor);
    } catch (const std::exception&) {
        return ERROR_OUTOFMEMORY;
    }
    plat::DWORD dwError = pInfo->m_tree.Open();
    if (dwError == 0) {
        dwError = StartIoThread();
    }
    if (dwError == 0) {
        dwError = StartMonitoring(pInfo.get());
    }
    if (dwError != 0) {
        // A failed start still posts WatchStarted, which refers to the caller's handler.
        pInfo->m_pChangeHandler->WaitForDelivery();
        return dwError;
    }
    while (CDirectoryChangeWatcher* pOther = pChangeHandler->AttachToWatcher(this)) {
        pOther->Unwatch(pChangeHandler);
    }
    StoreInfo(std::move(pInfo));
    return 0;
}

bool CDirectoryChangeWatcher::Unwatch(const std::wstring& wstrDirToStopWatching) {
    std::unique_ptr<CDirWatchInfo> pInfo;
    {
        std::lock_guard<std::mutex> guard(m_csDirWatchInfo);
        for (std::unique_ptr<CDirWatchInfo>& slot : m_DirectoriesToWatch) {
            if (slot && slot->Watches(wstrDirToStopWatching)) {
                pInfo = std::move(slot);
                break;
            }
        }
    }
    return pInfo && UnwatchDirectory(std::move(pInfo));
}

bool CDirectoryChangeWatcher::Unwatch(CDirectoryChangeHandler* pChangeHandler) {
    std::vector<std::unique_ptr<CDirWatchInfo>> taken;
    {
        std::lock_guard<std::mutex> guard(m_csDirWatchInfo);
        for (std::unique_ptr<CDirWatchInfo>& slot : m_DirectoriesToWatch) {
            if (slot && slot->RealHandler() == pChangeHandler) {
                taken.push_back(std::move(slot));
            }
        }
    }
    bool bWatched = false;
    for (std::unique_ptr<CDirWatchInfo>& pInfo : taken) {
        bWatched = UnwatchDirectory(std::move(pInfo)) || bWatched;
    }
    return bWatched;
}

bool CDirectoryChangeWatcher::UnwatchAll() {
    std::lock_guard<std::mutex> guard(m_csWatch);
    std::vector<std::unique_ptr<CDirWatchInfo>> taken;
    {
        std::lock_guard<std::mutex> listGuard(m_csDirWatchInfo);
        for (std::unique_ptr<CDirWatchInfo>& slot : m_DirectoriesToWatch) {
            if (slot) {
                taken.push_back(std::move(slot));
            }
        }
        m_DirectoriesToWatch.clear();
    }
    for (std::unique_ptr<CDirWatchInfo>& pInfo : taken) {
        UnwatchDirectory(std::move(pInfo));
    }
    if (m_ioThread.GetThreadId() == 0) {
        return false;
    }
    m_hCompPort->Post(0);
    if (m_ioThread.Stop() == 0) {
        m_hCompPort.reset();
    } else {
        AfLog(4, __FILE_NAME__, "CDirectoryChangeWatcher::UnwatchAll", __LINE__,
              "the I/O thread did not end within 5 seconds");
        // It may still wait on the port: leave the port to it.
        m_hCompPort.release();
    }
    return true;
}

plat::DWORD CDirectoryChangeWatcher::StartIoThread() {
    if (!m_hCompPort) {
        auto pPort = std::make_unique<plat::WatchPort>();
        plat::DWORD dwError = pPort->Open();
        if (dwError != 0) {
            return dwError;
        }
        m_hCompPort = std::move(pPort);
    }
    if (m_ioThread.GetThreadId() == 0 && m_ioThread.Start() != 0) {
        return ERROR_MAX_THRDS_REACHED;
    }
    return 0;
}

plat::DWORD CDirectoryChangeWatcher::StartMonitoring(CDirWatchInfo* pInfo) {
    pInfo->SetRunState(RUN_STATE_START_REQUESTED);
    if (!m_hCompPort->Post(pInfo->Key())) {
        return plat::ERROR_GEN_FAILURE;
    }
    plat::WaitForSingleObject(pInfo->m_hStartStopEvent, plat::INFINITE);
    plat::ResetEvent(pInfo->m_hStartStopEvent);
    return pInfo->m_dwReadDirError;
}

bool CDirectoryChangeWatcher::UnwatchDirectory(std::unique_ptr<CDirWatchInfo> pInfo) {
    pInfo->SetRunState(RUN_STATE_STOP_REQUESTED);
    if (m_hCompPort->Post(pInfo->Key())) {
        plat::WaitForSingleObject(pInfo->m_hStartStopEvent, plat::INFINITE);
        plat::ResetEvent(pInfo->m_hStartStopEvent);
    }
    pInfo->m_pChangeHandler->WaitForDelivery();
    pInfo->RealHandler()->DetachFromWatcher(this);
    return pInfo->m_bWatchStoppedPosted;
}

void CDirectoryChangeWatcher::StoreInfo(std::unique_ptr<CDirWatchInfo> pInfo) {
    std::lock_guard<std::mutex> guard(m_csDirWatchInfo);
    for (std::unique_ptr<CDirWatchInfo>& slot : m_DirectoriesToWatch) {
        if (!slot) {
            slot = std::move(pInfo);
            return;
        }
    }
    m_DirectoriesToWatch.push_back(std::move(pInfo));
}

int CDirectoryChangeWatcher::CIoThread::Run() {
    m_watcher.MonitorDirectoryChanges();
    return 0;
}

void CDirectoryChangeWatcher::MonitorDirectoryChanges() {
    ThreadStarted();
    std::uintptr_t key = 0;
    bool bPosted = false;
    // Key 0 is posted by UnwatchAll.
    while (m_hCompPort->GetQueuedCompletion(key, bPosted) && key != 0) {
        auto* pInfo = reinterpret_cast<CDirWatchInfo*>(key);
        if (bPosted) {
            HandleRequest(pInfo);
        } else {
            ReadChanges(pInfo);
        }
    }
    ThreadEnding();
}

void CDirectoryChangeWatcher::HandleRequest(CDirWatchInfo* pInfo) {
    if (pInfo->GetRunState() == RUN_STATE_START_REQUESTED) {
        plat::DWORD dwError = m_hCompPort->Associate(pInfo->m_tree.Handle(), pInfo->Key());
        pInfo->m_dwReadDirError = dwError;
        pInfo->SetRunState(dwError == 0 ? RUN_STATE_WATCHING : RUN_STATE_STOPPED);
        pInfo->m_pChangeHandler->WatchStarted(dwError, pInfo->m_wstrDirName);
        if (dwError == 0) {
            pInfo->m_tree.ReportUnwatchedFolders();
        }
    } else if (pInfo->m_tree.IsOpen()) {  // stop requested while watching
        m_hCompPort->Dissociate(pInfo->m_tree.Handle());
        pInfo->m_tree.Close();
        pInfo->SetRunState(RUN_STATE_STOPPED);
        pInfo->m_pChangeHandler->WatchStopped(pInfo->m_wstrDirName);
        pInfo->m_bWatchStoppedPosted = true;
    } else {  // stop requested after the watch ended by itself
        pInfo->SetRunState(RUN_STATE_STOPPED);
    }
    // The waiter may free the record as soon as the event is set: signal through a copy.
    plat::EventPtr hStartStopEvent = pInfo->m_hStartStopEvent;
    plat::SetEvent(hStartStopEvent);
}

void CDirectoryChangeWatcher::ReadChanges(CDirWatchInfo* pInfo) {
    plat::DWORD dwError = pInfo->m_tree.ReadChanges();
    if (dwError == 0) {
        return;
    }
    // The directory itself is gone: the watch ends here, never to be restarted by itself. The
    // record stays in the list until an unwatch (or a new Watch of the directory) clears it
    // away, which waits until the ReadError has been delivered.
    m_hCompPort->Dissociate(pInfo->m_tree.Handle());
    pInfo->m_tree.Close();
    pInfo->SetRunState(RUN_STATE_STOPPED);
    pInfo->m_pChangeHandler->ReadError(dwError, pInfo->m_wstrDirName);
}
