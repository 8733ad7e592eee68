#include "store/tablestore/TSyncFile.h"

#include "common/AfLog.h"
#include "store/tablestore/Database.h"
#include "store/tablestore/RecordColumns.h"
#include "store/tablestore/Statement.h"

namespace {

// A row that takes an id or a path that another row has replaces that row: SQLite deletes it
// and inserts the new one in one statement, which then stands last in load order.
const std::string& InsertSql() {
    static const std::string sql = "INSERT OR REPLACE INTO FileInfo(" + SyncFileColumnNames("") +
                                   ") VALUES(" + Placeholders(kSyncFileColumnCount) + ")";
    return sql;
}

// One folder lies inside the other (or is the other): not a rename, and rewriting would make
// rows replace each other.
bool Nested(const std::wstring& a, const std::wstring& b) {
    return a.compare(0, b.size(), b) == 0 || b.compare(0, a.size(), a) == 0;
}

}  // namespace

CTSyncFile::CTSyncFile() : CDbBase(DbFile::kSyncFile) {}

int CTSyncFile::ConnectDB() {
    return Connect();
}

int CTSyncFile::GetFileInfo(std::vector<TSyncFile>& files) {
    return ReadFileInfo([&](std::size_t rows) { files.reserve(files.size() + rows); },
                        [&](TSyncFile& file) { files.push_back(std::move(file)); });
}

int CTSyncFile::GetFileInfo(CPackedFiles& files) {
    return ReadFileInfo([&](std::size_t rows) { files.Reserve(files.Size() + rows); },
                        [&](TSyncFile& file) { files.Add(file); });
}

template <class Reserve, class Take>
int CTSyncFile::ReadFileInfo(Reserve reserve, Take take) {
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    {
        // Room for the whole table at once: a reload of the sync directory then moves no rows.
        CStatement count(*db, "SELECT count(*) FROM FileInfo");
        if (count.Step() == SQLITE_ROW) {
            reserve(static_cast<std::size_t>(count.Int(0)));
        }
    }
    static const std::string sql =
        "SELECT " + SyncFileColumnNames("") + " FROM FileInfo ORDER BY rowid";
    CStatement statement(*db, sql);
    TSyncFile file;
    int rc = statement.Step();
    for (; rc == SQLITE_ROW; rc = statement.Step()) {
        file.Clear();
        ReadSyncFile(statement, 0, file);
        take(file);
    }
    return Checked(rc == SQLITE_DONE ? SQLITE_OK : rc, "CTSyncFile::GetFileInfo");
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
        static const std::string sql = "UPDATE OR REPLACE FileInfo SET (" +
                                       SyncFileColumnNames("") + ") = (" +
                                       Placeholders(kSyncFileColumnCount) + ") WHERE iId = ?";
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
    CStatement statement(*db, "DELETE FROM FileInfo WHERE iId = ?");
    statement.Bind(1, id);
    return Checked(statement.Run(), "CTSyncFile::DelFileById");
}

int CTSyncFile::FolderRename(std::wstring newPrefix, std::wstring oldPrefix) {
    if (oldPrefix.empty()) {
        AfLog(1, "TSyncFile.cpp", "CTSyncFile::FolderRename", __LINE__,
              "Error: FolderRename without an old folder path");
        return DB_RESULT_MISSING;
    }
    if (oldPrefix.back() != L'\\') {
        AfLog(1, "TSyncFile.cpp", "CTSyncFile::FolderRename", __LINE__,
              "Error: FolderRename of a folder path without its trailing backslash");
        return DB_RESULT_MISSING;
    }
    if (newPrefix != oldPrefix && Nested(newPrefix, oldPrefix)) {
        AfLog(1, "TSyncFile.cpp", "CTSyncFile::FolderRename", __LINE__,
              "Error: FolderRename between a folder and a folder inside it");
        return DB_RESULT_MISSING;
    }
    CDatabase* db = Database();
    if (db == nullptr) {
        return SQLITE_MISUSE;
    }
    auto lock = db->Lock();
    // substr and length count characters on both sides; no LIKE, so '%' and '_' in names are
    // plain characters. The paths that start with the old folder's are also those from it up
    // to the same text ending in the character after the backslash, a range the path index
    // finds without reading every row. A row standing at a new path is replaced (it is stale:
    // the renamed folder's new name was free on disk).
    std::wstring upper = oldPrefix;
    upper.back() = L'\\' + 1;
    CStatement statement(*db,
                         "UPDATE OR REPLACE FileInfo SET strRelativePath = ?1 || "
                         "substr(strRelativePath, length(?2) + 1) "
                         "WHERE strRelativePath >= ?2 AND strRelativePath < ?3 "
                         "AND substr(strRelativePath, 1, length(?2)) = ?2");
    statement.Bind(1, newPrefix);
    statement.Bind(2, oldPrefix);
    statement.Bind(3, upper);
    return Checked(statement.Run(), "CTSyncFile::FolderRename");
}
