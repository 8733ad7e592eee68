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
    CSystemInfo table;
    std::wstring value;
    if (table.ConnectDB() == 0) {
        table.GetConfig(key, value);
    }
    table.Disconnect();
    return value;
}

int SetSystemConfig(const std::string& key, const std::wstring& value) {
    CSystemInfo table;
    int result = table.ConnectDB();
    if (result == 0) {
        result = table.SetConfig(key, value);
    }
    table.Disconnect();
    return result;
}

int ReadUserRecord(UserInfo& info) {
    CUserInfo table;
    int result = table.ConnectDB();
    if (result == 0) {
        result = table.GetUserInfo(info);
    }
    table.Disconnect();
    return result;
}

int WriteUserRecord(const UserInfo& info) {
    CUserInfo table;
    int result = table.ConnectDB();
    if (result == 0) {
        result = table.SetUserInfo(info);
    }
    table.Disconnect();
    return result;
}

namespace {
void Drop(CDbBase& table, const char* name) {
    if (table.ConnectDB() == 0) {
        table.DropTable(name);
    }
    table.Disconnect();
}
}  // namespace

void ClearUserData() {
    CGlobalSetting setting;
    setting.Load(L"config.ini");
    {
        CUserInfo user;
        Drop(user, "USERINFO");
        CSyncFolder folder;
        Drop(folder, "SyncFolder");
        CSyncingTask syncing;
        Drop(syncing, "SyncingTask");
        CSyncCompleted completed;
        Drop(completed, "SyncCompleted");
        CSyncFail fail;
        Drop(fail, "FailSync");
        CTSyncFile files;
        Drop(files, "FileInfo");
        CSystemInfo system;
        Drop(system, "config");
    }
    // The table files are this program's own state, not the user's items: removed for good.
    std::filesystem::path folder = plat::DataDir() / "user" / WstringToString(setting.m_wstrUser);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    for (const char* name : {"syncFile.db", "Sync.db", "User.db"}) {
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::filesystem::remove(folder / (std::string(name) + suffix), ec);
        }
    }
    AfLog(1, "CorvenaDlg", "CCorvenaDlg::ClearUserData", 0, "cleared the data of %s",
          WstringToString(setting.m_wstrUser).c_str());
    setting.m_wstrUser.clear();
    setting.Save(L"config.ini");
}
