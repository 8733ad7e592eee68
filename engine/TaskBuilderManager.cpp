#include "engine/TaskBuilderManager.h"

#include "common/AfLog.h"
#include "store/SyncCodes.h"
#include "store/SyncStatus.h"
#include "store/SyncingTaskArray.h"

CTaskBuilderManager::~CTaskBuilderManager() {
    if (GetThreadId() != 0) {
        PostQuit();
        Stop();
    }
}

void CTaskBuilderManager::PostQuit() {
    m_taskBuilder.RequestEnd();
    if (GetThreadId() != 0) {
        plat::PostThreadMessage(GetThreadId(), plat::WM_QUIT, 0, 0);
    }
}

int CTaskBuilderManager::Run() {
    plat::MSG msg;
    while (plat::GetMessage(&msg) > 0) {
        OnMessage(msg);
    }
    m_taskBuilder.EndWatch();
    return 0;
}

void CTaskBuilderManager::OnMessage(const plat::MSG& msg) {
    CSyncStatus* pStatus = CSyncStatus::Get();
    switch (msg.message) {
        case MSG_THREAD_START:
            init();
            break;
        case MSG_SETTING_PAUSESYNC:
            m_taskBuilder.HoldWatch();
            break;
        case MSG_SETTING_RESUMESYNC:
            if (pStatus->IsResumeSync() != 0) {
                AfLog(0, __FILE_NAME__, "CTaskBuilderManager::Run", __LINE__, "%s",
                      "CTaskBuilderManager::Run() MSG_SETTING_RESUMESYNC");
                m_taskBuilder.Resume();
            } else {
                AfLog(0, __FILE_NAME__, "CTaskBuilderManager::Run", __LINE__, "%s",
                      "resume, but Server Net = 0");
            }
            break;
        case MSG_NET_SERVER:
            AfLog(0, __FILE_NAME__, "CTaskBuilderManager::Run", __LINE__, "MSG_NET_SERVER = (%d)",
                  static_cast<int>(msg.lParam));
            if (msg.lParam != 0) {
                if (pStatus->IsResumeSync() != 0) {
                    m_taskBuilder.Resume();
                } else {
                    AfLog(0, __FILE_NAME__, "CTaskBuilderManager::Run", __LINE__, "%s",
                          "Server Net = 1, but Pause");
                }
            } else {
                m_taskBuilder.HoldWatch();
            }
            break;
        case MSG_RELEASE_DELETIONS:
            m_taskBuilder.ReleaseHeldDeletions();
            break;
        default:
            break;
    }
}

int CTaskBuilderManager::init() {
    constexpr const char* kPauseLine = "init return for MSYNC_FLAG_PAUSE";
    if (CSyncStatus::Get()->GetFlag(MSYNC_FLAG_PAUSE) != 0) {
        // Started paused: the left-over queue, the boot comparison and the watchers wait for
        // the resume, which does all three.
        AfLog(0, __FILE_NAME__, "CTaskBuilderManager::init", __LINE__, "%s", kPauseLine);
        return 1;
    }
    if (CSyncingTaskArray::Get()->HasTask() != 0) {
        CSyncingTaskArray::Get()->Release(1);
    }
    if (!m_taskBuilder.WaitForQueue("CTaskBuilderManager::init", kPauseLine)) {
        return 1;
    }
    if (CSyncStatus::Get()->GetFlag(MSYNC_FLAG_WAIT30S_SYNC) != 0) {
        AfLog(0, __FILE_NAME__, "CTaskBuilderManager::init", __LINE__, "%s",
              "BreakPonit task need to wait 30s.");
    } else {
        AfLog(1, __FILE_NAME__, "CTaskBuilderManager::init", __LINE__, "%s",
              "Boot Cause offline task begin");
        CTaskBuilder::ONOfflineSync();
        AfLog(0, __FILE_NAME__, "CTaskBuilderManager::init", __LINE__, "%s",
              "Boot Cause offline task end");
        if (!m_taskBuilder.WaitForQueue("CTaskBuilderManager::init", kPauseLine)) {
            return 1;
        }
    }
    m_taskBuilder.StartWatch();
    return 0;
}
