#include "store/tablestore/SyncCompleted.h"

#include "store/tablestore/Database.h"
#include "store/tablestore/RecordColumns.h"
#include "store/tablestore/Statement.h"

namespace {

const std::string& SelectSql() {
    static const std::string sql =
        "SELECT iCmpdAutoKey, " + ComandColumnNames() + " FROM SyncCompleted";
    return sql;
}

void ReadCompleted(const CStatement& row, SyncCompleted& completed) {
    completed.iCmpdAutoKey = row.Int(0);
    ReadComand(row, 1, completed.tComand);
}

}  // namespace

CSyncCompleted::CSyncCompleted() : CDbBase(DbFile::kSync) {}

int CSyncCompleted::ConnectDB() {
    return Connect();
}

int CSyncCompleted::GetArr(std::vector<SyncCompleted>& completed) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db, SelectSql() + " ORDER BY iCmpdAutoKey");
    return Checked(statement.ReadRows(completed, ReadCompleted), "CSyncCompleted::GetArr");
}

int CSyncCompleted::GetASyncCompleted(int idKey, SyncCompleted& completed) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db, SelectSql() + " WHERE iIdKey = ? ORDER BY iCmpdAutoKey DESC LIMIT 1");
    statement.Bind(1, idKey);
    int rc = statement.ReadRow([&](const CStatement& row) { ReadCompleted(row, completed); });
    return Checked(rc, "CSyncCompleted::GetASyncCompleted");
}

int CSyncCompleted::AddInfo(const SyncCompleted& completed) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    static const std::string sql = "INSERT INTO SyncCompleted(iCmpdAutoKey, " +
                                   ComandColumnNames() + ") VALUES(?, " +
                                   Placeholders(kComandColumnCount) + ")";
    CStatement statement(*db, sql);
    statement.Bind(1, completed.iCmpdAutoKey);
    BindComand(statement, 2, completed.tComand);
    return Checked(statement.Run(), "CSyncCompleted::AddInfo");
}

int CSyncCompleted::DelByKey(int iCmpdAutoKey) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db, "DELETE FROM SyncCompleted WHERE iCmpdAutoKey = ?");
    statement.Bind(1, iCmpdAutoKey);
    return Checked(statement.Run(), "CSyncCompleted::DelByKey");
}
