#include "client/Communication.h"

#include <algorithm>

#include "common/AfLog.h"
#include "store/SyncCodes.h"

CCommunication& CCommunication::Get() {
    static CCommunication* instance = new CCommunication();
    return *instance;
}

void CCommunication::AddListener(unsigned messageId, Callback callback, Owner owner) {
    std::lock_guard<std::mutex> lock(m_tableMutex);
    m_listeners[messageId].push_back({++m_serial, std::move(callback), owner});
    m_owners[owner].push_back(messageId);
}

void CCommunication::RemoveListener(Owner owner) {
    std::lock_guard<std::mutex> dispatch(m_dispatchLock);
    std::lock_guard<std::mutex> lock(m_tableMutex);
    auto found = m_owners.find(owner);
    if (found == m_owners.end()) {
        return;
    }
    for (unsigned id : found->second) {
        auto& list = m_listeners[id];
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [owner](const Entry& e) { return e.owner == owner; }),
                   list.end());
    }
    m_owners.erase(found);
}

std::vector<CCommunication::Entry> CCommunication::Listeners(unsigned messageId) {
    std::lock_guard<std::mutex> lock(m_tableMutex);
    auto found = m_listeners.find(messageId);
    return found == m_listeners.end() ? std::vector<Entry>() : found->second;
}

void CCommunication::Dispatch(unsigned messageId, std::uint32_t wParam, std::uint32_t lParam) {
    for (const Entry& entry : Listeners(messageId)) {
        entry.callback(wParam, lParam);
    }
}

int CCommunication::MessageThread() {
    plat::EnsureMessageQueue();
    m_messageThreadId = plat::GetCurrentThreadId();
    plat::MSG msg;
    int got;
    while ((got = plat::GetMessage(&msg)) > 0) {
        AfLog(0, "Communication", "CCommunication::MessageThread", 22, "msg.message = %u",
              msg.message);
        std::lock_guard<std::mutex> dispatch(m_dispatchLock);
        AfLog(0, "Communication", "CCommunication::MessageThread", 24, "msg.message = %u repeat",
              msg.message);
        auto wParam = static_cast<std::uint32_t>(msg.wParam);
        auto lParam = static_cast<std::uint32_t>(msg.lParam);
        if (msg.message == MSG_SYNC_STATUS) {
            m_lastSyncState = static_cast<int>(lParam);
        }
        if (msg.message == MSG_TASK_COMPLETED) {
            for (const Entry& entry : Listeners(msg.message)) {
                entry.callback(lParam, wParam);
            }
        } else if (msg.message != MSG_IGNORED_12025) {
            Dispatch(msg.message, wParam, lParam);
        }
    }
    m_messageThreadId = 0;
    return got < 0 ? -1 : 0;
}

bool CCommunication::StopMessageThread() {
    plat::DWORD id = m_messageThreadId.load();
    return id != 0 && plat::PostThreadMessage(id, plat::WM_QUIT, 0, 0);
}
