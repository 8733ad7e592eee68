#include "client/TrayState.h"

#include "common/AfLog.h"
#include "store/SyncCodes.h"

const wchar_t* const TIP_CONNECTING = L"联机中...";
const wchar_t* const TIP_SPACE_FULL = L"\r\n空间已满，请释放空间，\r\n或联系企业管理员扩大空间容量";
const wchar_t* const TIP_FILE4G = L"\r\n大于4G的文件未同步";

namespace {
constexpr int KEY_PAUSE = 5;
constexpr int KEY_RESUME = 6;
constexpr int KEY_FAULT = 7;
constexpr unsigned FLAG_SPACE_FULL = 1u << MSYNC_FLAG_SPACE_FULL;
constexpr unsigned FLAG_FILE4G = 1u << MSYNC_FLAG_FILE4G;

TrayIconInfo IdleLook(unsigned flags) {
    TrayIconInfo look;
    look.tooltip = L"Corvena";
    if (flags & FLAG_SPACE_FULL) {
        look.tooltip += TIP_SPACE_FULL;
        look.icon = ICON_SPACE_FULL;
    }
    if (flags & FLAG_FILE4G) {
        look.tooltip += TIP_FILE4G;
        look.icon = ICON_FILE4G;
    }
    return look;
}
}  // namespace

void CTrayState::ApplyLocked(const TrayIconInfo& look) {
    if (m_apply) {
        m_apply(look);
    }
}

void CTrayState::Show(const TrayIconInfo& look) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_current = look;
    ApplyLocked(look);
}

void CTrayState::OnSyncStateChange(unsigned flags, int state) {
    AfLog(0, "CorvenaDlg", "CCorvenaDlg::OnSyncStateChange", 0, "OnSyncStateChange lParm = %d",
          state);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bPause || !m_bOnline) {
        return;
    }
    TrayIconInfo look;
    switch (state) {
        case MSYNC_STATE_IDLE:
            AfLog(0, "CorvenaDlg", "CCorvenaDlg::OnSyncStateChange", 0, "空闲状态消息");
            look = IdleLook(flags);
            break;
        case MSYNC_STATE_FIND:
            AfLog(0, "CorvenaDlg", "CCorvenaDlg::OnSyncStateChange", 0, "正在查找变化状态消息");
            return;
        case MSYNC_STATE_SYNCING:
            AfLog(0, "CorvenaDlg", "CCorvenaDlg::OnSyncStateChange", 0, "正在同步");
            m_nIconState = ICONSTATE_SYNCING;
            look.tooltip = L"Corvena\r\n正在同步...";
            look.animation = 1;
            break;
        case MSYNC_STATE_SYNCED:
            AfLog(0, "CorvenaDlg", "CCorvenaDlg::OnSyncStateChange", 0, "所有同步完成");
            m_nIconState = ICONSTATE_IDLE;
            look = IdleLook(flags);
            break;
        default:
            // Not a state: the plain look is shown but the one in force stays current.
            ApplyLocked(look);
            return;
    }
    m_current = look;
    ApplyLocked(look);
}

void CTrayState::SetStopIcon() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_saved[KEY_PAUSE] = m_current;
    TrayIconInfo look;
    look.tooltip = L"Corvena\r\n同步已暂停";
    look.icon = ICON_PAUSED;
    m_current = look;
    ApplyLocked(look);
    m_bPause = true;
}

void CTrayState::SetResuIcon() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_saved[KEY_RESUME] = m_current;
    m_current = m_saved[KEY_PAUSE];
    ApplyLocked(m_current);
    m_bPause = false;
}

void CTrayState::ShowNotice(const wchar_t* appended, int icon) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_nIconState != ICONSTATE_IDLE || m_bPause || !m_bOnline) {
        return;
    }
    TrayIconInfo look;
    look.tooltip = std::wstring(L"Corvena") + appended;
    look.icon = icon;
    ApplyLocked(look);
}

void CTrayState::OnFile4G() {
    ShowNotice(TIP_FILE4G, ICON_FILE4G);
}

void CTrayState::OnSpaceFull() {
    ShowNotice(TIP_SPACE_FULL, ICON_SPACE_FULL);
}

void CTrayState::ShowFault(const TrayIconInfo& look) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bOnline) {
        m_saved[KEY_FAULT] = m_current;
    }
    m_bOnline = false;
    m_nIconState = ICONSTATE_FAULT;
    ApplyLocked(look);
}

bool CTrayState::BackOnline() {
    std::lock_guard<std::mutex> lock(m_mutex);
    bool wasOffline = !m_bOnline;
    if (wasOffline) {
        auto saved = m_saved.find(KEY_FAULT);
        if (saved != m_saved.end()) {
            m_current = saved->second;
        }
        ApplyLocked(m_current);
        m_nIconState = m_bPause ? ICONSTATE_PAUSED : ICONSTATE_IDLE;
    }
    m_bOnline = true;
    return wasOffline;
}

void CTrayState::SetOnline(bool online) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bOnline = online;
}

TrayIconInfo CTrayState::Current() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_current;
}

int CTrayState::IconState() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nIconState;
}

bool CTrayState::IsPaused() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bPause;
}

bool CTrayState::IsOnline() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bOnline;
}

void CTrayState::SetIconState(int state) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nIconState = state;
}
