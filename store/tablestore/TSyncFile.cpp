#include "store/tablestore/TSyncFile.h"

#include "common/AfLog.h"
#include "store/tablestore/Database.h"
#include "store/tablestore/RecordColumns.h"
#include "store/tablestore/Statement.h"

namespace {

const std::string& InsertSql() {
    static const std::string sql = "INSERT INTO FileInfo(" + SyncFileColumnNames("") + ") VALUES(" +
                                   Placeholders(kSyncFileColumnCount) + ")";
    return sql;
}

// The first row with an id, by the order rows were added in.
const char* const kFirstRowById =
    "(SELECT rowid FROM FileInfo WHERE iId = ? ORDER BY rowid LIMIT 1)";

}  // namespace

CTSyncFile::CTSyncFile() : CDbBase(DbFile::kSyncFile) {}

int CTSyncFile::ConnectDB() {
    return Connect();
}

int CTSyncFile::GetFileInfo(std::vector<TSyncFile>& files) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    {
        // Room for the whole table at once: a reload of the sync directory then moves no rows.
        CStatement count(*db, "SELECT count(*) FROM FileInfo");
        if (count.Step() == SQLITE_ROW) {
            files.reserve(files.size() + static_cast<std::size_t>(count.Int(0)));
        }
    }
    static const std::string sql =
        "SELECT " + SyncFileColumnNames("") + " FROM FileInfo ORDER BY rowid";
    CStatement statement(*db, sql);
    int rc = statement.ReadRows(
        files, [](const CStatement& row, TSyncFile& file) { ReadSyncFile(row, 0, file); });
    return Checked(rc, "CTSyncFile::GetFileInfo");
}

int CTSyncFile::SetFileInfo(const TSyncFile& file) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db, InsertSql());
    BindSyncFile(statement, 1, file);
    return Checked(statement.Run(), "CTSyncFile::SetFileInfo");
}

int CTSyncFile::FilReplace(const TSyncFile& file) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CTransaction transaction(*db);
    int rc = transaction.Begin();
    if (rc == SQLITE_OK) {
        static const std::string sql = "UPDATE FileInfo SET (" + SyncFileColumnNames("") + ") = (" +
                                       Placeholders(kSyncFileColumnCount) +
                                       ") WHERE rowid = " + kFirstRowById;
        CStatement update(*db, sql);
        BindSyncFile(update, 1, file);
        update.Bind(kSyncFileColumnCount + 1, file.iId);
        rc = update.Run();
    }
    if (rc == SQLITE_OK && db->Changes() == 0) {
        CStatement insert(*db, InsertSql());
        BindSyncFile(insert, 1, file);
        rc = insert.Run();
    }
    return Checked(transaction.Finish(rc), "CTSyncFile::FilReplace");
}

int CTSyncFile::DelFileById(int id) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    CStatement statement(*db, std::string("DELETE FROM FileInfo WHERE rowid = ") + kFirstRowById);
    statement.Bind(1, id);
    return Checked(statement.Run(), "CTSyncFile::DelFileById");
}

int CTSyncFile::FolderRename(std::wstring newPrefix, std::wstring oldPrefix) {
    if (oldPrefix.empty()) {
        AfLog(1, "TSyncFile.cpp", "CTSyncFile::FolderRename", __LINE__,
              "Error: FolderRename without an old folder path");
        return DB_RESULT_MISSING;
    }
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    // substr and length count characters on both sides; no LIKE, so '%' and '_' in names are
    // plain characters.
    CStatement statement(*db,
                         "UPDATE FileInfo SET strRelativePath = ?1 || "
                         "substr(strRelativePath, length(?2) + 1) "
                         "WHERE substr(strRelativePath, 1, length(?2)) = ?2");
    statement.Bind(1, newPrefix);
    statement.Bind(2, oldPrefix);
    return Checked(statement.Run(), "CTSyncFile::FolderRename");
}
