#include "engine/SyncControl.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "platform/Clock.h"
#include "store/SyncCodes.h"
#include "store/SyncCompletedArray.h"
#include "store/SyncFailArray.h"
#include "store/SyncFolderArray.h"
#include "store/SyncStatus.h"
#include "store/SyncingTaskArray.h"
#include "store/SystemInfoLD.h"
#include "store/TSyncFileArray.h"
#include "store/UserInfoLD.h"
#include "store/tablestore/SystemInfo.h"

namespace {

constexpr const char* kLog = "SyncMainThread.cpp";

std::atomic<CSyncControl*> g_pSyncControl{nullptr};

bool Succeeded(int nRet) {
    return nRet == 0 || nRet == 101;
}

// The client keeps the user's pause in "Stop": an engine started again while the client shows
// it paused (after a crash, by the client's watchdog) starts paused too.
void TakeStop() {
    if (CSystemInfoLD::Get()->GetSystemInfo().bStop) {
        CSyncStatus::Get()->SetFlag(MSYNC_FLAG_PAUSE, true);
        AfLog(0, kLog, "CSyncControl::CSyncControl", __LINE__, "%s",
              "Stop = (1): the engine starts paused");
    }
}

// The stored limit of that key in KiB per second; 0 (no limit) when missing or not above 0.
int StoredSpeedLimit(CSystemInfo& config, const char* key) {
    std::wstring wstrLimit;
    if (config.GetConfig(key, wstrLimit) != 0) {
        return 0;
    }
    const long lLimit = std::strtol(WstringToString(wstrLimit).c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(lLimit, 0, INT_MAX));
}

}  // namespace

CSyncControl::CSyncControl() {
    g_pSyncControl.store(this);
    m_iInitResult = ReloadStores();
    if (m_iInitResult != 0) {
        AfLog(6, kLog, "CSyncControl::CSyncControl", __LINE__,
              "Error: the tables cannot be loaded (%d); the engine does not start", m_iInitResult);
        return;
    }
    TakeNetState();
    TakeStop();
    m_iInitResult = StartManagers();
    if (m_iInitResult == 0) {
        TakeSpeedLimits();
    }
}

CSyncControl::~CSyncControl() {
    if (GetThreadId() != 0) {
        plat::PostThreadMessage(GetThreadId(), plat::WM_QUIT, 0, 0);
        Stop();
    }
    // The producers go first: the task callback reaches the task manager.
    m_pTaskBuilderManager.reset();
    m_pTaskManager.reset();
    m_pTransferManager.reset();
    // In memory only: the stored queue stays for the next start, so the queue is not cleared.
    CTSyncFileArray::Get()->Clear();
    CSyncFailArray::Get()->Clear();
    CSyncFolderArray::Get()->Clear();
    CSyncControl* self = this;
    g_pSyncControl.compare_exchange_strong(self, nullptr);
}

CSyncControl* CSyncControl::Get() {
    return g_pSyncControl.load();
}

int CSyncControl::ReloadStores() {
    struct Reload {
        const char* what;
        int (*reload)();
    };
    static const Reload reloads[] = {
        {"CUserInfoLD::ReLoad", [] { return CUserInfoLD::Get()->ReLoad() ? 0 : 1001; }},
        {"CSystemInfoLD::ReLoad", [] { return CSystemInfoLD::Get()->ReLoad() ? 0 : 1001; }},
        {"CTSyncFileArray::ReLoad", [] { return CTSyncFileArray::Get()->ReLoad(); }},
        {"CSyncFolderArray::ReLoad", [] { return CSyncFolderArray::Get()->ReLoad(); }},
        {"CSyncFailArray::ReLoad", [] { return CSyncFailArray::Get()->ReLoad(); }},
        {"CSyncingTaskArray::ReLoad", [] { return CSyncingTaskArray::Get()->ReLoad(); }},
        {"CSyncCompletedArray::ReLoad", [] { return CSyncCompletedArray::Get()->ReLoad(); }},
    };
    for (const Reload& step : reloads) {
        const int nRet = step.reload();
        if (!Succeeded(nRet)) {
            AfLog(6, kLog, "CSyncControl::CSyncControl", __LINE__, "Error: %s failed nRet = (%d)",
                  step.what, nRet);
            return nRet == 0 ? 1001 : nRet;
        }
    }
    return 0;
}

void CSyncControl::TakeNetState() {
    // The client posts MSG_NET_SERVER only after a fault, so without this no comparison would
    // ever run after a clean start.
    CSystemInfo config;
    std::wstring wstrNetState;
    if (config.ConnectDB() != 0 || config.GetConfig("NetState", wstrNetState) != 0) {
        wstrNetState = L"1";
    }
    config.Disconnect();
    const bool bReachable = wstrNetState != L"0";
    CSyncStatus::Get()->SetFlag(MSYNC_FLAG_NETSERVICE, bReachable);
    AfLog(0, kLog, "CSyncControl::CSyncControl", __LINE__, "NetState = (%s)",
          WstringToString(wstrNetState).c_str());
}

void CSyncControl::TakeSpeedLimits() {
    // The client tells only a running engine of a new limit: one started later (at login,
    // after a crash) takes the stored limits, or it would transfer at full speed. In
    // unlimited mode the client keeps the typed limits stored, so "SetSpeed" decides.
    CSystemInfo config;
    std::wstring wstrMode;
    int iUpload = 0;
    int iDownload = 0;
    if (config.ConnectDB() == 0 && config.GetConfig("SetSpeed", wstrMode) == 0 &&
        wstrMode == L"1") {
        iUpload = StoredSpeedLimit(config, "USpeed");
        iDownload = StoredSpeedLimit(config, "DSpeed");
    }
    config.Disconnect();
    AfLog(0, kLog, "CSyncControl::CSyncControl", __LINE__,
          "SetSpeed = (%s) upload limit = (%d) download limit = (%d)",
          WstringToString(wstrMode).c_str(), iUpload, iDownload);
    plat::PostThreadMessage(m_pTransferManager->GetThreadId(), MSG_SETTING_MAXSPEED,
                            static_cast<plat::WPARAM>(iUpload), iDownload);
}

int CSyncControl::StartManagers() {
    m_pTaskBuilderManager = std::make_unique<CTaskBuilderManager>();
    m_pTaskManager = std::make_unique<CTaskManager>();
    m_pTransferManager = std::make_unique<CTransferManager>();
    if (m_pTaskBuilderManager->Start() != 0 || m_pTaskManager->Start() != 0 ||
        m_pTransferManager->Start() != 0) {
        AfLog(6, kLog, "CSyncControl::CSyncControl", __LINE__, "%s",
              "Error: a manager thread cannot be started");
        return 1001;
    }
    plat::PostThreadMessage(m_pTransferManager->GetThreadId(), MSG_THREAD_START, 0, 0);
    return 0;
}

int CSyncControl::Run() {
    if (m_iInitResult != 0) {
        return 1001;
    }
    plat::MSG msg;
    while (NextMessage(msg)) {
        if (msg.message != 0) {
            OnMessage(msg);
        }
        if (!m_syncRequests.empty()) {
            AdvanceSyncRequests();
        }
    }
    AnswerSyncRequests(SYNC_DONE_ENDING);
    EndThreads();
    return 0;
}

bool CSyncControl::NextMessage(plat::MSG& msg) {
    if (m_syncRequests.empty()) {
        return plat::GetMessage(&msg) > 0;
    }
    msg = plat::MSG();
    if (plat::MsgWaitForObject(nullptr, kSyncRequestPollMs) == plat::WAIT_OBJECT_0 + 1 &&
        plat::PeekMessage(&msg, true)) {
        return msg.message != plat::WM_QUIT;
    }
    return true;
}

void CSyncControl::OnSyncNow(const plat::MSG& msg) {
    TSyncRequest request;
    request.dwThread = static_cast<plat::DWORD>(msg.wParam);
    request.iId = msg.lParam;
    request.tArrived = plat::Clock::Now();
    request.uNetReports = m_uNetReports;
    AfLog(1, kLog, "CSyncControl::Run", __LINE__, "comparison asked for by thread %u (%ld)",
          request.dwThread, static_cast<long>(request.iId));
    m_syncRequests.push_back(request);
}

void CSyncControl::AdvanceSyncRequests() {
    CSyncStatus* pStatus = CSyncStatus::Get();
    if (pStatus->GetFlag(MSYNC_FLAG_PAUSE) != 0) {
        AnswerSyncRequests(SYNC_DONE_PAUSED);
        return;
    }
    if (pStatus->GetFlag(MSYNC_FLAG_NETSERVICE) == 0) {
        AnswerOfflineRequests();
        return;
    }
    CTaskBuilder& builder = m_pTaskBuilderManager->TaskBuilder();
    CSyncingTaskArray* pQueue = CSyncingTaskArray::Get();
    const bool bDrained = pQueue->HasTask() == 0;
    const bool bDiskTaken = builder.DiskMonitor().GetPendingCount() == 0;
    const auto tNow = plat::Clock::Now();
    for (auto it = m_syncRequests.begin(); it != m_syncRequests.end();) {
        if (it->iPhase == 0 && bDrained && bDiskTaken &&
            tNow - it->tArrived >= plat::Clock::Duration(kSyncSettleMs)) {
            // Tasks in the queue would be found again by a comparison running beside them.
            it->uComparison = builder.ComparisonsBegun() + 1;
            it->uDropped = pQueue->DroppedTasks();
            it->iPhase = 1;
            // No transfer starts before the 30-second sync, which clears the queue and then
            // compares: that comparison serves the request, one run now would only have its
            // tasks dropped.
            if (pStatus->GetFlag(MSYNC_FLAG_WAIT30S_SYNC) == 0) {
                StartServerSync();
            }
        }
        if (it->iPhase == 1 && builder.ComparisonsEnded() >= it->uComparison) {
            it->iPhase = 2;
        }
        const int iResult = it->iPhase == 2 ? SyncRequestResult(*it) : -1;
        if (iResult >= 0) {
            AnswerRequest(*it, iResult);
            it = m_syncRequests.erase(it);
            continue;
        }
        ++it;
    }
}

void CSyncControl::AnswerOfflineRequests() {
    const auto tNow = plat::Clock::Now();
    for (auto it = m_syncRequests.begin(); it != m_syncRequests.end();) {
        if (it->uNetReports == m_uNetReports &&
            tNow - it->tArrived < plat::Clock::Duration(kOfflineReportWaitMs)) {
            ++it;
            continue;
        }
        AnswerRequest(*it, SYNC_DONE_OFFLINE);
        it = m_syncRequests.erase(it);
    }
}

int CSyncControl::SyncRequestResult(const TSyncRequest& request) const {
    CSyncingTaskArray* pQueue = CSyncingTaskArray::Get();
    // A cleared queue is empty without its tasks having run: they are not done, whatever the
    // queue holds by now.
    const bool bDropped = pQueue->DroppedTasks() != request.uDropped;
    if (!bDropped && pQueue->HasTask() != 0) {
        return -1;
    }
    if (m_pTaskBuilderManager->TaskBuilder().LastComparisonResult() != 0) {
        return SYNC_DONE_COMPARE_FAILED;
    }
    return bDropped ? SYNC_DONE_DROPPED : SYNC_DONE_OK;
}

void CSyncControl::AnswerSyncRequests(int iResult) {
    for (const TSyncRequest& request : m_syncRequests) {
        AnswerRequest(request, iResult);
    }
    m_syncRequests.clear();
}

void CSyncControl::AnswerRequest(const TSyncRequest& request, int iResult) {
    plat::PostThreadMessage(request.dwThread, MSG_SYNC_DONE, static_cast<plat::WPARAM>(request.iId),
                            iResult);
}

void CSyncControl::OnGetState(const plat::MSG& msg) const {
    CSyncStatus* pStatus = CSyncStatus::Get();
    const auto word = static_cast<plat::WPARAM>(pStatus->GetStatus() & 0xFF) |
                      (static_cast<plat::WPARAM>(pStatus->GetFlag() & 0xFF) << 8);
    const unsigned uHeld =
        m_pTaskBuilderManager ? m_pTaskBuilderManager->TaskBuilder().HeldDeletions() : 0;
    plat::PostThreadMessage(static_cast<plat::DWORD>(msg.wParam), MSG_STATE, word, uHeld);
}

void CSyncControl::EndThreads() {
    if (m_pTaskBuilderManager) {
        m_pTaskBuilderManager->PostQuit();
    }
    if (m_pTaskManager) {
        plat::PostThreadMessage(m_pTaskManager->GetThreadId(), plat::WM_QUIT, 0, 0);
    }
    if (m_pTransferManager) {
        plat::PostThreadMessage(m_pTransferManager->GetThreadId(), plat::WM_QUIT, 0, 0);
    }
}

void CSyncControl::OnMessage(const plat::MSG& msg) {
    switch (msg.message) {
        case MSG_THREAD_START:
            OnThreadStart();
            break;
        case MSG_SYNC_COMPLETE_ALL:
            OnSyncCompleteAll();
            break;
        case MSG_ADJUST_PRIORITY:
            PostToUI(MSG_ADJUST_PRIORITY_RESULT, msg.wParam,
                     CSyncingTaskArray::Get()->AdjustTaskPriority(static_cast<int>(msg.wParam)));
            break;
        case MSG_GET_SPEED:
            PostToUI(MSG_SPEED, static_cast<plat::WPARAM>(m_pTransferManager->GetSpeed(true)),
                     m_pTransferManager->GetSpeed(false));
            break;
        case MSG_GET_MEANSPEED:
            PostToUI(MSG_MEANSPEED,
                     static_cast<plat::WPARAM>(m_pTransferManager->GetMeanSpeed(true)),
                     m_pTransferManager->GetMeanSpeed(false));
            break;
        case MSG_SETTING_MAXSPEED:
            OnMaxSpeed(msg);
            break;
        case MSG_SETTING_SYSTEM:
        case MSG_SETTING_SYSTEM2:
            CSystemInfoLD::Get()->ReLoad();
            break;
        case MSG_SETTING_PAUSESYNC:
            Pause();
            break;
        case MSG_SETTING_RESUMESYNC:
            Resume();
            break;
        case MSG_SETTING_USER:
        case MSG_SETTING_USER2:
            CUserInfoLD::Get()->ReLoad();
            break;
        case MSG_SETTING_SYNCFOLDER:
            OnSyncFolder();
            break;
        case MSG_RELEASE_DELETIONS:
            plat::PostThreadMessage(m_pTaskBuilderManager->GetThreadId(), MSG_RELEASE_DELETIONS, 0,
                                    0);
            break;
        case MSG_NET_SERVER:
            OnNetServer(msg);
            break;
        case MSG_SYNC_NOW:
            OnSyncNow(msg);
            break;
        case MSG_GET_STATE:
            OnGetState(msg);
            break;
        case MSG_ERR_FILEPATH_TOOLONG:
            PostToUI(msg.message, msg.wParam, msg.lParam);
            AfLog(0, kLog, "CSyncControl::Run", __LINE__, "%s",
                  "post UI Msg MSG_ERR_FILEPATH_TOOLONG");
            break;
        case MSG_ERR_SPACE_FULL:
        case MSG_ERR_FILE4G:
            PostToUI(msg.message, msg.wParam, msg.lParam);
            break;
        default:
            break;
    }
}

void CSyncControl::OnThreadStart() {
    if (!m_pTaskManager || !m_pTaskBuilderManager) {
        return;
    }
    m_pTransferManager->SetParentThead(GetThreadId());
    m_pTaskManager->SetControlThreadId(GetThreadId());
    m_pTaskManager->SetRuleThreadId(m_pTaskManager->GetThreadId());
    m_pTaskBuilderManager->TaskBuilder().SetTaskCallback(&CSyncControl::ProcNotifyTask);
    if (CSyncStatus::Get()->GetFlag(MSYNC_FLAG_NETSERVICE) == 0) {
        // The network rule starts out taking the service as reachable.
        plat::PostThreadMessage(m_pTaskManager->GetThreadId(), MSG_NET_SERVER, 0, 0);
    }
    plat::PostThreadMessage(m_pTransferManager->GetThreadId(), MSG_THREAD_START, 0, 0);
    plat::PostThreadMessage(m_pTaskManager->GetThreadId(), MSG_THREAD_START, 0, 0);
    plat::PostThreadMessage(m_pTaskBuilderManager->GetThreadId(), MSG_THREAD_START, 0, 0);
}

void CSyncControl::OnSyncCompleteAll() {
    CSyncStatus* pStatus = CSyncStatus::Get();
    if (pStatus->GetFlag(MSYNC_FLAG_DISKCAUSE_SYNC) != 0 &&
        CSyncingTaskArray::Get()->HasTask() != 0) {
        // Tasks came in after the worker sent this (a local change as the queue drained): the
        // disk-caused comparison waits for the report that follows them.
        AfLog(0, kLog, "CSyncControl::Run", __LINE__, "%s",
              "MSG_SYNC_COMPLETE_ALL with tasks queued: the disk-caused sync waits for them");
        return;
    }
    const bool bDiskCause = pStatus->IsDiskCauseSync() != 0;
    // Cleared before the comparison is asked for, so that a request made meanwhile stays.
    pStatus->SetFlag(MSYNC_FLAG_DISKCAUSE_SYNC, false);
    if (bDiskCause) {
        StartServerSync();
    }
    AfLog(0, kLog, "CSyncControl::Run", __LINE__, "%s",
          "MSG_SYNC_COMPLETE_ALL SetOfflineSync False");
}

void CSyncControl::OnMaxSpeed(const plat::MSG& msg) {
    CSystemInfoLD::Get()->SetMaxSpeed(std::to_string(static_cast<int>(msg.wParam)), false);
    CSystemInfoLD::Get()->SetMaxSpeed(std::to_string(static_cast<int>(msg.lParam)), true);
    plat::PostThreadMessage(m_pTransferManager->GetThreadId(), msg.message, msg.wParam, msg.lParam);
}

void CSyncControl::OnSyncFolder() {
    CSyncFolderArray::Get()->ReLoad();
    CSyncingTaskArray::Get()->Clear();
    StartServerSync();
}

void CSyncControl::OnNetServer(const plat::MSG& msg) {
    AfLog(0, kLog, "CSyncControl::Run", __LINE__,
          "Get MSG MSG_NET_SERVER wParam = (%d) lParam = (%d)", static_cast<int>(msg.wParam),
          static_cast<int>(msg.lParam));
    CSyncStatus::Get()->SetFlag(MSYNC_FLAG_NETSERVICE, msg.lParam == 1);
    ++m_uNetReports;
    ResumeStatue();
    plat::PostThreadMessage(m_pTaskManager->GetThreadId(), msg.message, msg.wParam, msg.lParam);
    plat::PostThreadMessage(m_pTaskBuilderManager->GetThreadId(), msg.message, msg.wParam,
                            msg.lParam);
    plat::PostThreadMessage(m_pTransferManager->GetThreadId(), msg.message, msg.wParam, msg.lParam);
}

void CSyncControl::Pause() {
    CSyncStatus::Get()->SetFlag(MSYNC_FLAG_PAUSE, true);
    plat::PostThreadMessage(m_pTaskBuilderManager->GetThreadId(), MSG_SETTING_PAUSESYNC, 0, 0);
    plat::PostThreadMessage(m_pTaskManager->GetThreadId(), MSG_SETTING_PAUSESYNC, 0, 0);
    plat::PostThreadMessage(m_pTransferManager->GetThreadId(), MSG_SETTING_PAUSESYNC, 0, 0);
}

void CSyncControl::Resume() {
    CSyncStatus::Get()->SetFlag(MSYNC_FLAG_PAUSE, false);
    AfLog(0, kLog, "CSyncControl::Resume", __LINE__, "%s",
          "CSyncControl::Resume() MSG_SETTING_RESUMESYNC");
    ResumeStatue();
    plat::PostThreadMessage(m_pTaskManager->GetThreadId(), MSG_SETTING_RESUMESYNC, 0, 0);
    plat::PostThreadMessage(m_pTransferManager->GetThreadId(), MSG_SETTING_RESUMESYNC, 0, 0);
    plat::Sleep(kResumeHeadStartMs);
    plat::PostThreadMessage(m_pTaskBuilderManager->GetThreadId(), MSG_SETTING_RESUMESYNC, 0, 0);
}

void CSyncControl::ResumeStatue() {
    CSyncStatus* pStatus = CSyncStatus::Get();
    CSyncingTaskArray* pQueue = CSyncingTaskArray::Get();
    pQueue->Clear();
    if (pQueue->HasTask() != 0 && pStatus->GetStatus() != MSYNC_STATE_SYNCING) {
        pStatus->SetStatus(MSYNC_STATE_SYNCING, 1, OPEA_FLAG_RESUME);
        AfLog(1, kLog, "CSyncControl::ResumeStatue", __LINE__, "%s",
              "ResumeStatue set MSYNC_STATE_SYNCING");
    }
    if (pStatus->GetStatus() == MSYNC_STATE_SYNCING && pQueue->HasTask() == 0) {
        pStatus->SetStatus(MSYNC_STATE_SYNCED, 1, OPEA_FLAG_DEFAULT);
        PostToUI(MSG_SYNC_COMPLETE_ALL, 0, 0);
        AfLog(1, kLog, "CSyncControl::ResumeStatue", __LINE__, "%s",
              "ResumeStatue set MSYNC_STATE_SYNCED");
    }
}

void CSyncControl::ProcNotifyTask(std::vector<TComand> tasks, int bFlag) {
    CSyncControl* pControl = Get();
    if (!tasks.empty()) {
        if (pControl != nullptr && pControl->m_pTaskManager) {
            pControl->m_pTaskManager->AddTasks(tasks, bFlag);
        }
        return;
    }
    CSyncStatus* pStatus = CSyncStatus::Get();
    if (pStatus->GetStatus() == MSYNC_STATE_FIND) {
        pStatus->SetStatus(MSYNC_STATE_IDLE, 0, OPEA_FLAG_DEFAULT);
        AfLog(1, kLog, "CSyncControl::ProcNotifyTask", __LINE__, "%s",
              "CTaskCache::ReleaseTask() Set Status (MSYNC_STATE_IDLE, not Force , OPEA_FLAG = "
              "Default )");
    }
}

void CSyncControl::PostToUI(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) const {
    plat::PostThreadMessage(GetUIThread(), message, wParam, lParam);
}

void CSyncControl::StartServerSync() {
    if (m_pTaskBuilderManager) {
        m_pTaskBuilderManager->TaskBuilder().ServerWatch().StartServerSync();
    }
}
