#include "store/tablestore/SyncFail.h"

#include "store/tablestore/Database.h"
#include "store/tablestore/RecordColumns.h"
#include "store/tablestore/Statement.h"

namespace {

const std::string& SelectSql() {
    static const std::string sql =
        "SELECT iFailAutoKey, errcode, iReTry, " + ComandColumnNames() + " FROM FailSync";
    return sql;
}

void ReadFail(const CStatement& row, SyncFail& fail) {
    fail.iFailAutoKey = row.Int(0);
    fail.errcode = row.Int(1);
    fail.iReTry = row.Int(2);
    ReadComand(row, 3, fail.tComand);
}

}  // namespace

CSyncFail::CSyncFail() : CDbBase(DbFile::kSync) {}

int CSyncFail::ConnectDB() {
    return Connect();
}

int CSyncFail::GetFailArr(std::vector<SyncFail>& fails) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db, SelectSql() + " ORDER BY iFailAutoKey");
    return Checked(statement.ReadRows(fails, ReadFail), "CSyncFail::GetFailArr");
}

int CSyncFail::GetASyncFail(int idKey, SyncFail& fail) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db, SelectSql() + " WHERE iIdKey = ? ORDER BY iFailAutoKey DESC LIMIT 1");
    statement.Bind(1, idKey);
    int rc = statement.ReadRow([&](const CStatement& row) { ReadFail(row, fail); });
    return Checked(rc, "CSyncFail::GetASyncFail");
}

int CSyncFail::AddFailInfo(const SyncFail& fail) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    static const std::string sql = "INSERT INTO FailSync(iFailAutoKey, errcode, iReTry, " +
                                   ComandColumnNames() + ") VALUES(?, ?, ?, " +
                                   Placeholders(kComandColumnCount) + ")";
    CStatement statement(*db, sql);
    statement.Bind(1, fail.iFailAutoKey);
    statement.Bind(2, fail.errcode);
    statement.Bind(3, fail.iReTry);
    BindComand(statement, 4, fail.tComand);
    return Checked(statement.Run(), "CSyncFail::AddFailInfo");
}

int CSyncFail::DelBy(int iFailAutoKey) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db, "DELETE FROM FailSync WHERE iFailAutoKey = ?");
    statement.Bind(1, iFailAutoKey);
    return Checked(statement.Run(), "CSyncFail::DelBy");
}
