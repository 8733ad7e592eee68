#include "store/tablestore/SystemInfo.h"

#include "store/tablestore/Database.h"
#include "store/tablestore/Statement.h"

CSystemInfo::CSystemInfo() : CDbBase(DbFile::kUser) {}

int CSystemInfo::ConnectDB() {
    return Connect();
}

int CSystemInfo::GetConfig(const std::string& key, std::wstring& value) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db, "SELECT value FROM config WHERE key = ?");
    statement.Bind(1, key);
    int rc = statement.ReadRow([&](const CStatement& row) { value = row.WText(0); });
    return Checked(rc, "CSystemInfo::GetConfig");
}

int CSystemInfo::SetConfig(const std::string& key, const std::wstring& value) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db,
                         "INSERT INTO config(key, value) VALUES(?, ?) "
                         "ON CONFLICT(key) DO UPDATE SET value = excluded.value");
    statement.Bind(1, key);
    statement.Bind(2, value);
    return Checked(statement.Run(), "CSystemInfo::SetConfig");
}
