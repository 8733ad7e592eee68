#include "client/ClientStore.h"

#include <filesystem>
#include <memory>

#include "common/AfLog.h"
#include "common/GlobalSetting.h"
#include "common/Utility.h"
#include "platform/Paths.h"
#include "store/tablestore/SyncCompleted.h"
#include "store/tablestore/SyncFail.h"
#include "store/tablestore/SyncFolder.h"
#include "store/tablestore/SyncingTask.h"
#include "store/tablestore/SystemInfo.h"
#include "store/tablestore/TSyncFile.h"
#include "store/tablestore/UserInfo.h"

std::wstring GetSystemConfig(const std::string& key) {
    std::wstring value;
    WithTable<CSystemInfo>([&](CSystemInfo& table) { return table.GetConfig(key, value); });
    return value;
}

int SetSystemConfig(const std::string& key, const std::wstring& value) {
    return WithTable<CSystemInfo>([&](CSystemInfo& table) { return table.SetConfig(key, value); });
}

int ReadUserRecord(UserInfo& info) {
    return WithTable<CUserInfo>([&](CUserInfo& table) { return table.GetUserInfo(info); });
}

int WriteUserRecord(const UserInfo& info) {
    return WithTable<CUserInfo>([&](CUserInfo& table) { return table.SetUserInfo(info); });
}

namespace {
template <typename Table>
void Drop(const char* name) {
    WithTable<Table>([name](Table& table) { return table.DropTable(name); });
}
}  // namespace

void ClearUserData() {
    CGlobalSetting setting;
    setting.Load(L"config.ini");
    ClearAccountData(setting.m_wstrUser);
}

void ClearAccountData(const std::wstring& account) {
    Drop<CUserInfo>("USERINFO");
    Drop<CSyncFolder>("SyncFolder");
    Drop<CSyncingTask>("SyncingTask");
    Drop<CSyncCompleted>("SyncCompleted");
    Drop<CSyncFail>("FailSync");
    Drop<CTSyncFile>("FileInfo");
    Drop<CSystemInfo>("config");
    // The table files are this program's own state, not the user's items: removed for good.
    std::filesystem::path folder = plat::DataDir() / "user" / WstringToString(account);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    for (const char* name : {"syncFile.db", "Sync.db", "User.db"}) {
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::filesystem::remove(folder / (std::string(name) + suffix), ec);
        }
    }
    AfLog(1, "CorvenaDlg", "CCorvenaDlg::ClearUserData", 0, "cleared the data of %s",
          WstringToString(account).c_str());
    CGlobalSetting setting;
    setting.m_wstrUser.clear();
    setting.Save(L"config.ini");
}
