#include "engine/ServerWatch.h"

#include <utility>

#include "common/AfLog.h"
#include "store/SyncStatus.h"
#include "store/SyncingTaskArray.h"

CServerWatch::CServerWatch()
    : m_hStartServerSync(plat::CreateEvent(false, false, "StartServerSync")) {}

CServerWatch::~CServerWatch() {
    if (GetThreadId() != 0) {
        plat::PostThreadMessage(GetThreadId(), plat::WM_QUIT, 0, 0);
        Stop();
    }
}

void CServerWatch::SetCallback(OfflineSyncCallback fnOfflineSync) {
    std::lock_guard<std::mutex> guard(m_csCallback);
    m_fnOfflineSync = std::move(fnOfflineSync);
}

void CServerWatch::StartServerSync() const {
    plat::SetEvent(m_hStartServerSync);
}

int CServerWatch::Run() {
    plat::EnsureMessageQueue();
    for (;;) {
        const plat::DWORD dwWait = plat::MsgWaitForObject(m_hStartServerSync, kTickMs);
        if (dwWait == plat::WAIT_OBJECT_0) {
            RunEventComparison();
        } else if (dwWait == plat::WAIT_OBJECT_0 + 1) {
            plat::MSG msg;
            if (plat::PeekMessage(&msg, true) && msg.message == plat::WM_QUIT) {
                return 0;
            }
        } else if (dwWait == plat::WAIT_TIMEOUT) {
            RunTickComparison();
        } else {
            AfLog(4, __FILE_NAME__, "CServerWatch::Run", __LINE__, "wait failed (%u)", dwWait);
            return 1001;
        }
    }
}

void CServerWatch::RunEventComparison() {
    AfLog(1, __FILE_NAME__, "CServerWatch::Run", __LINE__, "%s", "Disk Cause offline task begin");
    CallComparison();
    AfLog(0, __FILE_NAME__, "CServerWatch::Run", __LINE__, "%s", "Disk Cause offline  task end");
}

void CServerWatch::RunTickComparison() {
    CSyncStatus* pStatus = CSyncStatus::Get();
    if (!IsEnabled() || !pStatus->IsStart30OfflineSync()) {
        return;
    }
    AfLog(0, __FILE_NAME__, "CServerWatch::Run", __LINE__, "%s", "30S offline task begin");
    if (pStatus->GetFlag(MSYNC_FLAG_WAIT30S_SYNC) != 0) {
        pStatus->SetFlag(MSYNC_FLAG_WAIT30S_SYNC, false);
        CSyncingTaskArray::Get()->Clear();
    }
    CallComparison();
    AfLog(0, __FILE_NAME__, "CServerWatch::Run", __LINE__, "%s", "30S offline  task end");
}

void CServerWatch::CallComparison() {
    OfflineSyncCallback fnOfflineSync;
    {
        std::lock_guard<std::mutex> guard(m_csCallback);
        fnOfflineSync = m_fnOfflineSync;
    }
    if (fnOfflineSync) {
        fnOfflineSync();
    }
}
