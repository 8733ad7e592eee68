#include "store/tablestore/Schema.h"

#include <array>
#include <utility>

#include "store/tablestore/RecordColumns.h"

namespace {

// One row per item: an id and a path each name at most one row.
std::string SyncFileSchema() {
    return "CREATE TABLE IF NOT EXISTS FileInfo(" + SyncFileColumnDefs("") +
           ") STRICT;"
           "CREATE UNIQUE INDEX IF NOT EXISTS FileInfo_uniqueId ON FileInfo(iId);"
           "CREATE UNIQUE INDEX IF NOT EXISTS FileInfo_uniquePath ON FileInfo(strRelativePath);";
}

// Schema 1 allowed several rows per id or path: a stale row beside the item's new one. The
// newest row (the last added, highest rowid) is the item's latest record and stays. Duplicate
// ids go first, so that an item's current row survives; then, among the rows left, duplicate
// paths. The unique indexes are created by the schema itself afterwards.
const char* const kSyncFileFrom1 =
    "DELETE FROM FileInfo WHERE rowid NOT IN (SELECT max(rowid) FROM FileInfo GROUP BY iId);"
    "DELETE FROM FileInfo WHERE rowid NOT IN "
    "(SELECT max(rowid) FROM FileInfo GROUP BY strRelativePath);"
    "DROP INDEX IF EXISTS FileInfo_iId;";

std::string SyncSchema() {
    return "CREATE TABLE IF NOT EXISTS SyncFolder("
           "iFolderId INTEGER PRIMARY KEY, wstrFolderName TEXT NOT NULL DEFAULT '', "
           "iCheckState INTEGER NOT NULL DEFAULT 0) STRICT;"
           "CREATE TABLE IF NOT EXISTS SyncingTask(" +
           ComandColumnDefs() +
           ", PRIMARY KEY(iIdKey)) STRICT;"
           "CREATE TABLE IF NOT EXISTS FailSync("
           "iFailAutoKey INTEGER PRIMARY KEY, errcode INTEGER NOT NULL DEFAULT -1, "
           "iReTry INTEGER NOT NULL DEFAULT -1, " +
           ComandColumnDefs() +
           ") STRICT;"
           "CREATE INDEX IF NOT EXISTS FailSync_iIdKey ON FailSync(iIdKey);"
           "CREATE TABLE IF NOT EXISTS SyncCompleted("
           "iCmpdAutoKey INTEGER PRIMARY KEY, " +
           ComandColumnDefs() +
           ") STRICT;"
           "CREATE INDEX IF NOT EXISTS SyncCompleted_iIdKey ON SyncCompleted(iIdKey);";
}

std::string UserSchema() {
    std::string columns;
    for (const char* name : {"strUserId", "strAccount", "strPassword", "strUserType", "strToken",
                             "strPushId", "strPersonalSpace", "strWebToken"}) {
        columns += std::string(", ") + name + " TEXT NOT NULL DEFAULT ''";
    }
    // The one account of this folder lives in row 1.
    return "CREATE TABLE IF NOT EXISTS USERINFO(id INTEGER PRIMARY KEY CHECK(id = 1)" + columns +
           ") STRICT;"
           "CREATE TABLE IF NOT EXISTS config(key TEXT PRIMARY KEY NOT NULL, "
           "value TEXT NOT NULL DEFAULT '') STRICT;";
}

}  // namespace

const char* DbFileName(DbFile file) {
    switch (file) {
        case DbFile::kSyncFile:
            return "syncFile.db";
        case DbFile::kSync:
            return "Sync.db";
        case DbFile::kUser:
            return "User.db";
    }
    return "";
}

const char* DbFileSchema(DbFile file) {
    static const std::array<std::string, kDbFileCount> schemas = {SyncFileSchema(), SyncSchema(),
                                                                  UserSchema()};
    return schemas[static_cast<int>(file)].c_str();
}

const char* DbFileMigration(DbFile file, int fromVersion) {
    if (file == DbFile::kSyncFile && fromVersion == 1) {
        return kSyncFileFrom1;
    }
    return "";
}

std::optional<DbFile> DbFileOfTable(const std::string& tableName) {
    static const std::array<std::pair<const char*, DbFile>, 7> tables = {{
        {"FileInfo", DbFile::kSyncFile},
        {"SyncFolder", DbFile::kSync},
        {"SyncingTask", DbFile::kSync},
        {"FailSync", DbFile::kSync},
        {"SyncCompleted", DbFile::kSync},
        {"USERINFO", DbFile::kUser},
        {"config", DbFile::kUser},
    }};
    for (const auto& [name, file] : tables) {
        if (tableName == name) {
            return file;
        }
    }
    return std::nullopt;
}
