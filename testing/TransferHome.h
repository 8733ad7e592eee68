#pragma once
// Sets up the current CORVENA_HOME for the transfer worker, for its tests and benchmarks:
// config.ini names the service, the account logs in and its record and the sync directory are
// stored where the engine reads them, and every state table is read into memory again, as the
// engine does at its start.

#include <filesystem>
#include <string>

#include "common/GlobalSetting.h"
#include "common/SyncRecords.h"
#include "common/Utility.h"
#include "rest/UserMgr.h"
#include "store/SyncCompletedArray.h"
#include "store/SyncFailArray.h"
#include "store/SyncTemporary.h"
#include "store/SyncingTaskArray.h"
#include "store/SystemInfoLD.h"
#include "store/TSyncFileArray.h"
#include "store/UserInfoLD.h"
#include "store/tablestore/SystemInfo.h"
#include "store/tablestore/UserInfo.h"

namespace testing_support {

// Empty text when done, else what failed.
inline std::string PrepareTransferHome(const std::string& serviceAddress,
                                       const std::string& account,
                                       const std::string& passwordBase64,
                                       const std::filesystem::path& syncDir) {
    if (CGlobalSetting().SetValue(L"main", L"server", StringToWstring(serviceAddress),
                                  L"config.ini") != 0) {
        return "cannot write config.ini";
    }
    CDbBase::SetAccount(account);
    std::filesystem::create_directories(syncDir);
    UserInfo user;
    user.strAccount = account;
    user.strPassword = passwordBase64;
    if (CUserMgr(4).UserLogin(account, passwordBase64, user.strUserId, user.strUserType,
                              user.strToken, user.strPushId, user.strPersonalSpace) != 0) {
        return "login refused";
    }
    CUserInfo users;
    const bool bUserStored = users.ConnectDB() == 0 && users.SetUserInfo(user) == 0;
    users.Disconnect();
    CSystemInfo config;
    const bool bDirStored = config.ConnectDB() == 0 &&
                            config.SetConfig("SyncDir", StringToWstring(syncDir.string())) == 0;
    config.Disconnect();
    return bUserStored && bDirStored ? std::string() : "cannot store the account";
}

// Empty text when done, else what failed.
inline std::string ReloadTransferState() {
    if (!CUserInfoLD::Get()->ReLoad() || !CSystemInfoLD::Get()->ReLoad()) {
        return "cannot load the account";
    }
    CTSyncFileArray::Get()->ReLoad();
    CSyncFailArray::Get()->ReLoad();
    CSyncingTaskArray::Get()->ReLoad();
    CSyncCompletedArray::Get()->ReLoad();
    CSyncTemporary::Get()->Clear();
    return {};
}

}  // namespace testing_support
