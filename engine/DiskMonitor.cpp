#include "engine/DiskMonitor.h"

#include <utility>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "store/tablestore/SystemInfo.h"

CDiskMonitor::CDiskMonitor() : CDiskMonitor(std::make_unique<CDirectoryChangeWatcher>()) {}

CDiskMonitor::CDiskMonitor(std::unique_ptr<CDirectoryChangeWatcher> pWatcher)
    : m_wstrSyncDir(ReadSyncDir()), m_pWatcher(std::move(pWatcher)), m_handler(m_wstrSyncDir) {
    m_handler.SetRewatchCallback([this] { return Rewatch(); });
}

CDiskMonitor::~CDiskMonitor() {
    // The thread first: it may be watching again.
    m_handler.Stop();
    m_pWatcher->UnwatchAll();
}

void CDiskMonitor::SetCallbacks(BatchCallback fnBatch, OfflineSyncCallback fnOfflineSync) {
    m_handler.SetBatchCallback(std::move(fnBatch));
    m_handler.SetOfflineSyncCallback(std::move(fnOfflineSync));
}

int CDiskMonitor::Start() {
    std::lock_guard<std::mutex> guard(m_csWatch);
    // Before the watch, so that a report that comes at once is not taken for a late one.
    m_handler.SetWatching(true);
    plat::DWORD dwError = m_pWatcher->Watch(m_wstrSyncDir, kNotifyFilter, &m_handler);
    if (dwError == 0 && m_handler.GetThreadId() == 0 && m_handler.Start() != 0) {
        m_pWatcher->Unwatch(m_wstrSyncDir);
        dwError = CDirectoryChangeWatcher::ERROR_MAX_THRDS_REACHED;
    }
    if (dwError != 0) {
        m_handler.SetWatching(false);
        AfLog(4, __FILE_NAME__, "CDiskMonitor::Start", __LINE__,
              "Watch(%s) = (%u) 启动磁盘监听失败", WstringToString(m_wstrSyncDir).c_str(), dwError);
        return 1;
    }
    return 0;
}

int CDiskMonitor::Stop() {
    std::lock_guard<std::mutex> guard(m_csWatch);
    // Cleared even when the watch had ended by itself: a stopped monitor never watches again
    // on its own.
    m_handler.SetWatching(false);
    if (!m_pWatcher->Unwatch(m_wstrSyncDir)) {
        AfLog(4, __FILE_NAME__, "CDiskMonitor::Stop", __LINE__, "Unwatch(%s) 启动磁盘监听失败",
              WstringToString(m_wstrSyncDir).c_str());
        return 1;
    }
    return 0;
}

int CDiskMonitor::EndHandlerThread() {
    return m_handler.Stop();
}

std::wstring CDiskMonitor::ReadSyncDir() {
    CSystemInfo systemInfo;
    std::wstring wstrSyncDir;
    if (systemInfo.ConnectDB() == 0) {
        systemInfo.GetConfig("SyncDir", wstrSyncDir);
    }
    systemInfo.Disconnect();
    return wstrSyncDir;
}

bool CDiskMonitor::Rewatch() {
    std::lock_guard<std::mutex> guard(m_csWatch);
    return m_handler.IsWatching() &&
           m_pWatcher->Watch(m_wstrSyncDir, kNotifyFilter, &m_handler) == 0;
}
