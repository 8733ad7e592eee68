#include "store/tablestore/UserInfo.h"

#include "store/tablestore/Database.h"
#include "store/tablestore/Statement.h"

namespace {
const char* const kColumns =
    "strUserId, strAccount, strPassword, strUserType, strToken, strPushId, strPersonalSpace, "
    "strWebToken";
}

CUserInfo::CUserInfo() : CDbBase(DbFile::kUser) {}

int CUserInfo::ConnectDB() {
    return Connect();
}

int CUserInfo::GetUserInfo(UserInfo& info) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db, std::string("SELECT ") + kColumns + " FROM USERINFO WHERE id = 1");
    int rc = statement.ReadRow([&](const CStatement& row) {
        info.strUserId = row.Text(0);
        info.strAccount = row.Text(1);
        info.strPassword = row.Text(2);
        info.strUserType = row.Text(3);
        info.strToken = row.Text(4);
        info.strPushId = row.Text(5);
        info.strPersonalSpace = row.Text(6);
        info.strWebToken = row.Text(7);
    });
    return Checked(rc, "CUserInfo::GetUserInfo");
}

int CUserInfo::SetUserInfo(const UserInfo& info) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db, std::string("INSERT OR REPLACE INTO USERINFO(id, ") + kColumns +
                                  ") VALUES(1, ?, ?, ?, ?, ?, ?, ?, ?)");
    statement.Bind(1, info.strUserId);
    statement.Bind(2, info.strAccount);
    statement.Bind(3, info.strPassword);
    statement.Bind(4, info.strUserType);
    statement.Bind(5, info.strToken);
    statement.Bind(6, info.strPushId);
    statement.Bind(7, info.strPersonalSpace);
    statement.Bind(8, info.strWebToken);
    return Checked(statement.Run(), "CUserInfo::SetUserInfo");
}
