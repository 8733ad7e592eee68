#include "engine/DelayedDirectoryChangeHandler.h"

#include <exception>

#include "common/AfLog.h"

CDirChangeNotification::CDirChangeNotification(CDelayedDirectoryChangeHandler* pDelayedHandler,
                                               int iKind, const std::wstring& wstrFileName1,
                                               const std::wstring& wstrFileName2,
                                               plat::DWORD dwError)
    : pDelayedHandler(pDelayedHandler),
      iKind(iKind),
      wstrFileName1(wstrFileName1),
      wstrFileName2(wstrFileName2),
      dwError(dwError) {
    pDelayedHandler->AddRef();
}

CDirChangeNotification::~CDirChangeNotification() {
    pDelayedHandler->Release();
}

CDelayedDirectoryChangeHandler::CDelayedDirectoryChangeHandler(
    CDirectoryChangeHandler* pRealHandler, const std::wstring& wstrDirectoryName)
    : m_pRealHandler(pRealHandler),
      m_wstrDirectoryName(wstrDirectoryName),
      m_pPending(std::make_shared<CPendingCount>()) {
    m_pRealHandler->AddRef();
}

CDelayedDirectoryChangeHandler::~CDelayedDirectoryChangeHandler() {
    m_pRealHandler->Release();
}

void CDelayedDirectoryChangeHandler::FileAdded(const std::wstring& wstrFileName) {
    PostNotification(DIR_CHANGE_ADDED, wstrFileName);
}

void CDelayedDirectoryChangeHandler::FileRemoved(const std::wstring& wstrFileName) {
    PostNotification(DIR_CHANGE_REMOVED, wstrFileName);
}

void CDelayedDirectoryChangeHandler::FileRenamed(const std::wstring& wstrOldFileName,
                                                 const std::wstring& wstrNewFileName) {
    PostNotification(DIR_CHANGE_RENAMED, wstrOldFileName, wstrNewFileName);
}

void CDelayedDirectoryChangeHandler::FileModified(const std::wstring& wstrFileName) {
    PostNotification(DIR_CHANGE_MODIFIED, wstrFileName);
}

void CDelayedDirectoryChangeHandler::ReadError(plat::DWORD dwError,
                                               const std::wstring& wstrDirectoryName) {
    PostNotification(DIR_CHANGE_READ_ERROR, wstrDirectoryName, {}, dwError);
}

void CDelayedDirectoryChangeHandler::WatchStarted(plat::DWORD dwError,
                                                  const std::wstring& wstrDirectoryName) {
    PostNotification(DIR_CHANGE_WATCH_STARTED, wstrDirectoryName, {}, dwError);
}

void CDelayedDirectoryChangeHandler::WatchStopped(const std::wstring& wstrDirectoryName) {
    PostNotification(DIR_CHANGE_WATCH_STOPPED, wstrDirectoryName);
}

void CDelayedDirectoryChangeHandler::WaitForDelivery() {
    if (plat::GetCurrentThreadId() != CDelayedNotificationThread::GetThreadId()) {
        m_pPending->WaitForNone();
    }
}

void CDelayedDirectoryChangeHandler::PostNotification(int iKind, const std::wstring& wstrFileName1,
                                                      const std::wstring& wstrFileName2,
                                                      plat::DWORD dwError) {
    m_pPending->Add();
    m_notifier.PostNotification(
        new CDirChangeNotification(this, iKind, wstrFileName1, wstrFileName2, dwError));
}

void CDelayedDirectoryChangeHandler::DispatchAndFree(CDirChangeNotification* pNotification) {
    try {
        pNotification->pDelayedHandler->Dispatch(*pNotification);
    } catch (const std::exception& e) {
        AfLog(4, __FILE_NAME__, "CDelayedDirectoryChangeHandler::DispatchAndFree", __LINE__,
              "the handler of notification kind %d threw: %s", pNotification->iKind, e.what());
    } catch (...) {
        AfLog(4, __FILE_NAME__, "CDelayedDirectoryChangeHandler::DispatchAndFree", __LINE__,
              "the handler of notification kind %d threw", pNotification->iKind);
    }
    Discard(pNotification);
}

void CDelayedDirectoryChangeHandler::Discard(CDirChangeNotification* pNotification) {
    std::shared_ptr<CPendingCount> pPending = pNotification->pDelayedHandler->m_pPending;
    // The record may hold the last reference on its delayed handler: it is released before a
    // waiter in unwatch goes on and frees what the handler refers to.
    delete pNotification;
    pPending->Done();
}

void CDelayedDirectoryChangeHandler::CPendingCount::Add() {
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_lCount;
}

void CDelayedDirectoryChangeHandler::CPendingCount::Done() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (--m_lCount == 0) {
        m_none.notify_all();
    }
}

void CDelayedDirectoryChangeHandler::CPendingCount::WaitForNone() {
    std::unique_lock<std::mutex> lock(m_lock);
    m_none.wait(lock, [this] { return m_lCount == 0; });
}

void CDelayedDirectoryChangeHandler::Dispatch(const CDirChangeNotification& n) {
    CDirectoryChangeHandler* pHandler = m_pRealHandler;
    pHandler->SetChangedDirectoryName(m_wstrDirectoryName);
    if (n.iKind <= DIR_CHANGE_RENAMED &&
        !pHandler->AcceptNotification(n.iKind, n.wstrFileName1, n.wstrFileName2)) {
        return;
    }
    switch (n.iKind) {
        case DIR_CHANGE_ADDED:
            pHandler->FileAdded(n.wstrFileName1);
            break;
        case DIR_CHANGE_REMOVED:
            pHandler->FileRemoved(n.wstrFileName1);
            break;
        case DIR_CHANGE_MODIFIED:
            pHandler->FileModified(n.wstrFileName1);
            break;
        case DIR_CHANGE_RENAMED:
            pHandler->FileRenamed(n.wstrFileName1, n.wstrFileName2);
            break;
        case DIR_CHANGE_READ_ERROR:
            pHandler->ReadError(n.dwError, n.wstrFileName1);
            break;
        case DIR_CHANGE_WATCH_STARTED:
            pHandler->WatchStarted(n.dwError, n.wstrFileName1);
            break;
        case DIR_CHANGE_WATCH_STOPPED:
            pHandler->WatchStopped(n.wstrFileName1);
            break;
    }
}
