#include "engine/TaskManager.h"

#include "common/AfLog.h"
#include "engine/File4GFilter.h"
#include "engine/FileFilter.h"
#include "engine/FileMaxPath.h"
#include "engine/NetworkAbnomal.h"
#include "engine/NoSyncFolder.h"
#include "engine/SyncFailFile.h"
#include "engine/SyncRedundancyFilter.h"
#include "engine/TaskCache.h"
#include "store/SyncCodes.h"
#include "store/SyncStatus.h"

namespace {

constexpr int kNetworkRule = 2;
constexpr int kTaskCacheRule = 7;

}  // namespace

CTaskManager::CTaskManager() {
    for (int key = 0; key < kRuleCount; ++key) {
        if (m_iEnable[key] == 1) {
            m_rules.emplace(key, CreateRule(key));
        }
    }
}

CTaskManager::~CTaskManager() {
    if (GetThreadId() == 0) {
        return;
    }
    plat::PostThreadMessage(GetThreadId(), plat::WM_QUIT, 0, 0);
    if (Stop() != 0) {
        AfLog(4, kLogicSyncLog, "CTaskManager::~CTaskManager", __LINE__, "%s",
              "Error::the task manager thread did not end");
    }
}

std::unique_ptr<CBaseSyncRule> CTaskManager::CreateRule(int key) {
    switch (key) {
        case 0:
            return std::make_unique<CSyncRedundancyFilter>();
        case 1:
            return std::make_unique<CFileMaxPath>();
        case 2:
            return std::make_unique<CNetworkAbnomal>();
        case 3:
            return std::make_unique<CFileFilter>();
        case 4:
            return std::make_unique<CFile4GFilter>();
        case 5:
            return std::make_unique<CNoSyncFolder>();
        case 6:
            return std::make_unique<CSyncFailFile>();
        default:
            return std::make_unique<CTaskCache>();
    }
}

CBaseSyncRule* CTaskManager::Rule(int key) const {
    auto found = m_rules.find(key);
    return found == m_rules.end() ? nullptr : found->second.get();
}

void CTaskManager::SetRuleThreadId(plat::DWORD dwThreadId) {
    for (const auto& [key, rule] : m_rules) {
        rule->SetTaskMgrThreadId(dwThreadId);
    }
}

int CTaskManager::AddTasks(std::vector<TComand>& batch, int bFlag) {
    std::lock_guard<std::mutex> lock(m_chainLock);
    if (auto* cache = dynamic_cast<CTaskCache*>(Rule(kTaskCacheRule))) {
        cache->SetBatchFlag(bFlag);
    }
    if (CSyncStatus::Get()->GetFlag(MSYNC_FLAG_PAUSE) != 0) {
        return 0;
    }
    for (const auto& [key, rule] : m_rules) {
        rule->DoAction(batch);
    }
    return 1;
}

int CTaskManager::Run() {
    plat::MSG msg;
    while (plat::GetMessage(&msg) > 0) {
        OnMessage(msg);
    }
    return 0;
}

void CTaskManager::OnMessage(const plat::MSG& msg) {
    switch (msg.message) {
        case MSG_SETTING_PAUSESYNC:
            SetStopFlags(true);
            break;
        case MSG_SETTING_RESUMESYNC:
            SetStopFlags(false);
            break;
        case MSG_NET_SERVER:
            if (auto* network = dynamic_cast<CNetworkAbnomal*>(Rule(kNetworkRule))) {
                network->SetNetworkReachable(msg.lParam == 1);
            }
            break;
        case MSG_ERR_FILEPATH_TOOLONG:
            plat::PostThreadMessage(GetControlThreadId(), msg.message, msg.wParam, msg.lParam);
            break;
        default:
            break;
    }
}

void CTaskManager::SetStopFlags(bool bStop) {
    for (const auto& [key, rule] : m_rules) {
        rule->SetStopFlag(bStop);
    }
}
