#include "store/tablestore/SyncingTask.h"

#include "store/tablestore/Database.h"
#include "store/tablestore/RecordColumns.h"
#include "store/tablestore/Statement.h"

namespace {

const std::string& SelectSql() {
    static const std::string sql = "SELECT " + ComandColumnNames() + " FROM SyncingTask";
    return sql;
}

std::string InsertSql(const char* verb) {
    return std::string(verb) + " INTO SyncingTask(" + ComandColumnNames() + ") VALUES(" +
           Placeholders(kComandColumnCount) + ")";
}

}  // namespace

CSyncingTask::CSyncingTask() : CDbBase(DbFile::kSync) {}

int CSyncingTask::ConnectDB() {
    return Connect();
}

int CSyncingTask::GetAllSyncingTask(std::vector<TComand>& tasks) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db, SelectSql() + " ORDER BY iIdKey");
    int rc = statement.ReadRows(
        tasks, [](const CStatement& row, TComand& task) { ReadComand(row, 0, task); });
    return Checked(rc, "CSyncingTask::GetAllSyncingTask");
}

int CSyncingTask::GetASyncingTask(int idKey, TComand& task) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db, SelectSql() + " WHERE iIdKey = ?");
    statement.Bind(1, idKey);
    int rc = statement.ReadRow([&](const CStatement& row) { ReadComand(row, 0, task); });
    return Checked(rc, "CSyncingTask::GetASyncingTask");
}

int CSyncingTask::AddTaskInfo(const TComand& task) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db, InsertSql("INSERT"));
    BindComand(statement, 1, task);
    return Checked(statement.Run(), "CSyncingTask::AddTaskInfo");
}

int CSyncingTask::AddTaskArrayInfo(const std::vector<TComand>& tasks) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CTransaction transaction(*db);
    int rc = transaction.Begin();
    for (auto it = tasks.begin(); rc == SQLITE_OK && it != tasks.end(); ++it) {
        CStatement statement(*db, InsertSql("INSERT"));
        BindComand(statement, 1, *it);
        rc = statement.Run();
    }
    return Checked(transaction.Finish(rc), "CSyncingTask::AddTaskArrayInfo");
}

int CSyncingTask::DelByIdKey(const int& idKey) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db, "DELETE FROM SyncingTask WHERE iIdKey = ?");
    statement.Bind(1, idKey);
    return Checked(statement.Run(), "CSyncingTask::DelByIdKey");
}

int CSyncingTask::UpdateByIdKey(const int& idKey, const TComand& task) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    TComand stored(task);
    stored.iIdKey = idKey;
    CStatement statement(*db, InsertSql("INSERT OR REPLACE"));
    BindComand(statement, 1, stored);
    return Checked(statement.Run(), "CSyncingTask::UpdateByIdKey");
}
