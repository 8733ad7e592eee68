#include "client/TrayMenu.h"

std::vector<TrayMenuRow> CTrayMenu::Rows(ETrayPopup popup, bool paused,
                                         const std::wstring& spaceText, int waitingDeletions) {
    if (popup == POPUP_NO_SYNCDIR) {
        return {{L"退出", 0}};
    }
    if (popup == POPUP_OFFLINE) {
        return {{L"退出", 1}};
    }
    std::vector<TrayMenuRow> rows = {
        {spaceText, ROW_SPACE, false, true},
        {L"", ROW_SEPARATOR, true},
        {paused ? L"恢复同步" : L"暂停同步", ROW_PAUSE},
    };
    if (waitingDeletions > 0) {
        rows.push_back({L"有 " + std::to_wstring(waitingDeletions) + L" 个文件等待确认删除...",
                        ROW_HELD_DELETIONS});
    }
    rows.insert(rows.end(), {
                                {L"设置", ROW_SETTINGS},
                                {L"打开同步目录", ROW_OPEN_DIR},
                                {L"同步详情", ROW_DETAIL},
                                {L"登录web管理文件", ROW_WEB},
                                {L"检测版本", ROW_VERSION},
                                {L"意见反馈", ROW_FEEDBACK},
                                {L"关于", ROW_ABOUT},
                                {L"退出", ROW_EXIT},
                            });
    return rows;
}

bool CTrayMenu::OnCommand(ETrayPopup popup, int commandId) {
    if (popup != POPUP_FULL) {
        if (commandId == Rows(popup, false, L"")[0].commandId && m_exit) {
            m_exit();
            return true;
        }
        return false;
    }
    if (!m_engineRunning()) {
        return false;
    }
    auto found = m_handlers.find(commandId);
    if (found == m_handlers.end() || !found->second) {
        return false;
    }
    found->second();
    return true;
}
