#include "client/SpaceWatch.h"

#include "client/ClientStore.h"
#include "client/Communication.h"
#include "common/AfLog.h"
#include "common/GlobalSetting.h"
#include "common/Utility.h"

namespace {
constexpr int RESULT_ACCOUNT = 1;
constexpr int RESULT_NETWORK = 6;
constexpr int RESULT_SERVER = 22;
constexpr int RESULT_DISABLED = 8010;
}  // namespace

TrayIconInfo CSpaceWatch::FaultLook(int result) {
    TrayIconInfo look;
    look.icon = ICON_CONNECTING;
    switch (result) {
        case RESULT_ACCOUNT:
            look.tooltip = L"Corvena\r\n账号异常，正试图恢复中...";
            break;
        case RESULT_NETWORK:
            look.tooltip = L"Corvena\r\n网络已断开...";
            break;
        default:
            look.tooltip = L"Corvena\r\n服务器异常...";
            break;
    }
    return look;
}

int CSpaceWatch::Poll() {
    CGlobalSetting setting;
    setting.Load(L"config.ini");
    if (setting.m_wstrUser.empty()) {
        AfLog(0, "CorvenaDlg", "CCorvenaDlg::GetSpaceSize", 0, "wstrDefaultUser is empty");
        return 0;
    }
    int result = -1;
    for (int attempt = 0; attempt < 3 && result != 0; ++attempt) {
        std::string used;
        std::string total;
        result = m_query(used, total);
        if (m_actions.setSpaceText) {
            m_actions.setSpaceText(total.empty() ? std::wstring()
                                                 : StringToWstring(used + "/" + total));
        }
    }
    if (result != 0) {
        AfLog(1, "CorvenaDlg", "CCorvenaDlg::GetSpaceSize", 0, "GetSpaceInfo iRet = %d", result);
    }
    if (result == 0) {
        if (m_tray.BackOnline()) {
            AfLog(1, "CorvenaDlg", "CCorvenaDlg::GetSpaceSize", 0, "网络通");
            m_actions.postNetServer(1);
            CCommunication::Get().Dispatch(NOTICE_ONLINE, 0, 0);
            SetSystemConfig("NetState", L"1");
        }
    } else if (result == RESULT_DISABLED) {
        TrayIconInfo look;
        look.tooltip = L"Corvena\r\n账号禁用...";
        m_tray.ShowFault(look);
        m_actions.accountDisabled();
    } else {
        Fault(result);
    }
    return result;
}

void CSpaceWatch::Fault(int result) {
    if (result == RESULT_ACCOUNT) {
        AfLog(1, "CorvenaDlg", "CCorvenaDlg::GetSpaceSize", 0, "账号异常");
    } else if (result == RESULT_NETWORK) {
        AfLog(1, "CorvenaDlg", "CCorvenaDlg::GetSpaceSize", 0, "网络断");
    } else if (result != RESULT_SERVER) {
        AfLog(1, "CorvenaDlg", "CCorvenaDlg::GetSpaceSize", 0, "GetSpaceSize error code = %d",
              result);
    }
    m_tray.ShowFault(FaultLook(result));
    m_actions.postNetServer(0);
    CCommunication::Get().Dispatch(NOTICE_OFFLINE, 0, 0);
    SetSystemConfig("NetState", L"0");
    if (result == RESULT_ACCOUNT && m_actions.accountFaultBox) {
        m_actions.accountFaultBox();
    }
}
