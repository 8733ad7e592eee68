#include "client/LoginLogic.h"

#include "client/ClientStore.h"
#include "common/AfLog.h"
#include "common/GlobalSetting.h"
#include "common/Utility.h"
#include "rest/UserMgr.h"

std::string Base64Encode(const std::string& bytes) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned group = static_cast<unsigned char>(bytes[i]) << 16;
        size_t left = bytes.size() - i;
        if (left > 1) {
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        if (left > 2) {
            group |= static_cast<unsigned char>(bytes[i + 2]);
        }
        out.push_back(alphabet[(group >> 18) & 63]);
        out.push_back(alphabet[(group >> 12) & 63]);
        out.push_back(left > 1 ? alphabet[(group >> 6) & 63] : '=');
        out.push_back(left > 2 ? alphabet[group & 63] : '=');
    }
    return out;
}

const wchar_t* LoginErrorText(int result) {
    switch (result) {
        case 6:
            return L"网络错误！";
        case 22:
            return L"服务器异常！";
        case 8002:
            return L"该用户已被禁用！";
        case 8005:
        case 8006:
            return L"用户过期！";
        case 8011:
            return L"网络异常！";
        default:
            return L"请输入正确的邮箱和密码！";
    }
}

int LoginWithService(UserInfo& user) {
    CUserMgr session(4);
    return session.UserLogin(user.strAccount, user.strPassword, user.strUserId, user.strUserType,
                             user.strToken, user.strPushId, user.strPersonalSpace);
}

int LoginDefault(UserInfo& user, std::wstring& syncDir) {
    CGlobalSetting setting;
    setting.Load(L"config.ini");
    std::string name = WstringToString(setting.m_wstrUser);
    AfLog(1, "CorvenaDlg", "CCorvenaDlg::LoginDefault", 0, "strName = %s", name.c_str());
    if (name.empty()) {
        return 1;
    }
    std::wstring storedDir = GetSystemConfig("SyncDir");
    if (user.strPassword.empty() || storedDir.empty()) {
        return 1;
    }
    int result = LoginWithService(user);
    AfLog(1, "CorvenaDlg", "CCorvenaDlg::LoginDefault", 558, "Login return code=%d", result);
    if (result != 0) {
        AfLog(4, "CorvenaDlg", "CCorvenaDlg::LoginDefault", 615, "默认登录失败 返回 %d", result);
        return 1;
    }
    setting.m_wstrUser = StringToWstring(user.strAccount);
    setting.Save(L"config.ini");
    setting.SaveDir(storedDir, L"config.ini");
    syncDir = storedDir;
    return 0;
}
