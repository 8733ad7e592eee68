#pragma once
// The user table "USERINFO" in User.db: the one account of this folder.

#include "common/SyncRecords.h"
#include "store/tablestore/DbBase.h"

class CUserInfo : public CDbBase {
  public:
    CUserInfo();
    int ConnectDB() override;

    // 0 with the record, or 1001 (record untouched) when no account was stored yet.
    int GetUserInfo(UserInfo& info);
    // Stores the record in place of the one before.
    int SetUserInfo(const UserInfo& info);
};
