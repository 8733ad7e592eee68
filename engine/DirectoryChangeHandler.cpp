#include "engine/DirectoryChangeHandler.h"

#include "engine/DirectoryChangeWatcher.h"

CDirectoryChangeHandler::~CDirectoryChangeHandler() {
    CDirectoryChangeWatcher* pWatcher = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_csWatcher);
        pWatcher = m_pDirChangeWatcher;
    }
    if (pWatcher != nullptr) {
        pWatcher->Unwatch(this);
    }
}

long CDirectoryChangeHandler::AddRef() {
    return ++m_lRefCnt;
}

long CDirectoryChangeHandler::Release() {
    long lCount = --m_lRefCnt;
    if (lCount == 0) {
        delete this;
    }
    return lCount;
}

void CDirectoryChangeHandler::FileAdded(const std::wstring&) {}
void CDirectoryChangeHandler::FileRemoved(const std::wstring&) {}
void CDirectoryChangeHandler::FileRenamed(const std::wstring&, const std::wstring&) {}
void CDirectoryChangeHandler::FileModified(const std::wstring&) {}
void CDirectoryChangeHandler::ReadError(plat::DWORD, const std::wstring&) {}
void CDirectoryChangeHandler::WatchStarted(plat::DWORD, const std::wstring&) {}
void CDirectoryChangeHandler::WatchStopped(const std::wstring&) {}

bool CDirectoryChangeHandler::AcceptNotification(int, const std::wstring&, const std::wstring&) {
    return true;
}

void CDirectoryChangeHandler::SetChangedDirectoryName(const std::wstring& wstrDirectoryName) {
    m_wstrChangedDirectoryName = wstrDirectoryName;
}

CDirectoryChangeWatcher* CDirectoryChangeHandler::AttachToWatcher(
    CDirectoryChangeWatcher* pWatcher) {
    std::lock_guard<std::mutex> guard(m_csWatcher);
    if (m_pDirChangeWatcher != nullptr && m_pDirChangeWatcher != pWatcher) {
        return m_pDirChangeWatcher;
    }
    m_pDirChangeWatcher = pWatcher;
    ++m_lWatcherRefCnt;
    return nullptr;
}

void CDirectoryChangeHandler::DetachFromWatcher(CDirectoryChangeWatcher* pWatcher) {
    std::lock_guard<std::mutex> guard(m_csWatcher);
    if (m_pDirChangeWatcher != pWatcher) {
        return;
    }
    if (--m_lWatcherRefCnt == 0) {
        m_pDirChangeWatcher = nullptr;
    }
}
