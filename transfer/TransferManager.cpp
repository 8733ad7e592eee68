#include "transfer/TransferManager.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "common/AfLog.h"
#include "rest/SyncMgr.h"
#include "store/SyncCodes.h"
#include "transfer/TransferLog.h"

namespace {

// A speed limit as the message carries it (KiB per second; 0 or less: no limit).
int LimitOf(std::intptr_t value) {
    return static_cast<int>(std::clamp<std::intptr_t>(value, INT_MIN, INT_MAX));
}

int ClampToInt(double value) {
    if (!(value > 0)) {
        return 0;
    }
    return value >= double(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

}  // namespace

CTransferManager::CTransferManager() : m_pWorkTransfer(std::make_unique<WorkTransfer>()) {
    if (m_pWorkTransfer->Start() != 0) {
        AfLog(6, kTransferManagerLog, "CTransferManager::CTransferManager", __LINE__, "%s",
              "Error: Start WorkTransfer Failed.");
    }
}

CTransferManager::~CTransferManager() {
    bool bManagerEnded = true;
    if (GetThreadId() != 0) {
        plat::PostThreadMessage(GetThreadId(), plat::WM_QUIT, 0, 0);
        bManagerEnded = Stop() == 0;
    }
    m_pWorkTransfer->RequestEnd();
    const bool bWorkerEnded = m_pWorkTransfer->Stop() == 0;
    if (!bWorkerEnded || !bManagerEnded) {
        // The thread that goes on still uses the worker: it stays, and the thread base waits
        // for the manager's own thread before this object goes.
        AfLog(4, kTransferManagerLog, "CTransferManager::~CTransferManager", __LINE__, "%s",
              bWorkerEnded ? "The manager's thread did not end; WorkTransfer is kept for it."
                           : "WorkTransfer did not end; it is left to run.");
        m_pWorkTransfer.release();
    }
}

void CTransferManager::SetParentThead(unsigned long threadId) {
    m_dwParentThread.store(static_cast<plat::DWORD>(threadId));
    m_pWorkTransfer->SetParentThead(GetThreadId());
}

int CTransferManager::Run() {
    plat::MSG msg;
    while (plat::GetMessage(&msg) > 0) {
        OnMessage(msg);
    }
    return 0;
}

void CTransferManager::OnMessage(const plat::MSG& msg) {
    switch (msg.message) {
        case MSG_SYNC_COMPLETE_ALL:
        case MSG_ERR_SPACE_FULL:
        case MSG_ERR_FILE4G:
            Forward(msg.message);
            break;
        case MSG_SETTING_MAXSPEED:
            CHttpCommBase::SetMaxUploadSpeed(LimitOf(static_cast<std::intptr_t>(msg.wParam)));
            CHttpCommBase::SetMaxDownloadSpeed(LimitOf(msg.lParam));
            break;
        case MSG_SETTING_PAUSESYNC:
            m_pWorkTransfer->Pause();
            break;
        case MSG_SETTING_RESUMESYNC:
            m_pWorkTransfer->Resume();
            break;
        default:
            break;
    }
}

void CTransferManager::Forward(unsigned message) const {
    plat::PostThreadMessage(m_dwParentThread.load(), message, 0, 0);
}

int CTransferManager::GetSpeed(bool bUpload) {
    if (!m_pWorkTransfer) {
        return 0;
    }
    double value = 0;
    if (bUpload) {
        CBaseTransfer::Session().GetUploadSize(value);
    } else {
        CBaseTransfer::Session().GetDownloadSize(value);
    }
    return ClampToInt(value);
}

int CTransferManager::GetMeanSpeed(bool bUpload) {
    if (!m_pWorkTransfer) {
        return 0;
    }
    double value = 0;
    if (bUpload) {
        CBaseTransfer::Session().GetAverageUpSpeed(value);
    } else {
        CBaseTransfer::Session().GetAverageDownSpeed(value);
    }
    return ClampToInt(value);
}
