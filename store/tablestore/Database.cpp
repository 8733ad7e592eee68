#include "store/tablestore/Database.h"

#include <cstdio>
#include <string>
#include <utility>

#include "common/AfLog.h"

namespace {

const char* const kLogFile = "Database.cpp";

// Long enough to wait out the other program's longest write (a folder rename rewrites many rows;
// a checkpoint may follow a burst of writes). Readers never wait: the log keeps them apart.
constexpr int kBusyTimeoutMs = 10000;

// Creates the file (mode 0600) when it does not exist yet. Only the process that creates it
// removes what an earlier file of that name left behind: a write-ahead log that outlived its
// database (the desktop client deletes the .db files to forget an account while they may be
// open) would otherwise be replayed into the new, empty file and resurrect or corrupt it.
void CreateFileIfMissing(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        return;
    }
    std::FILE* created = std::fopen(path.c_str(), "wx");
    if (created == nullptr) {
        return;  // created by another process meanwhile, or unusable: sqlite3_open says which
    }
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        std::filesystem::remove(path.string() + suffix, ec);
    }
    std::filesystem::permissions(
        path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
        std::filesystem::perm_options::replace, ec);
    std::fclose(created);
}

}  // namespace

int CDatabase::Open(const std::filesystem::path& path, DbFile file,
                    std::shared_ptr<CDatabase>& out) {
    CreateFileIfMissing(path);
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        AfLog(4, kLogFile, "CDatabase::Open", __LINE__, "Error: cannot open table file %s: %s",
              path.c_str(), db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        return PrimaryCode(rc);
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    std::shared_ptr<CDatabase> database(new CDatabase(db, path));
    rc = database->CheckAndCreateSchema(file);
    if (rc == SQLITE_OK) {
        out = std::move(database);
    }
    return rc;
}

CDatabase::CDatabase(sqlite3* db, std::filesystem::path path) : m_db(db), m_path(std::move(path)) {}

CDatabase::~CDatabase() {
    for (auto& [sql, stmt] : m_statements) {
        sqlite3_finalize(stmt);
    }
    sqlite3_close_v2(m_db);
}

sqlite3_stmt* CDatabase::Prepare(const std::string& sql, int& rc) {
    auto found = m_statements.find(sql);
    if (found != m_statements.end()) {
        rc = SQLITE_OK;
        return found->second;
    }
    sqlite3_stmt* stmt = nullptr;
    rc = sqlite3_prepare_v3(m_db, sql.c_str(), static_cast<int>(sql.size()) + 1,
                            SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        AfLog(4, kLogFile, "CDatabase::Prepare", __LINE__, "Error: %s in %s: %s",
              sqlite3_errmsg(m_db), m_path.c_str(), sql.c_str());
        sqlite3_finalize(stmt);
        return nullptr;
    }
    m_statements.emplace(sql, stmt);
    return stmt;
}

int CDatabase::Exec(const char* sql) {
    return PrimaryCode(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr));
}

bool CDatabase::HasMoved() {
    auto lock = Lock();
    int moved = 0;
    return sqlite3_file_control(m_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
           moved != 0;
}

const char* CDatabase::ErrorText() const {
    return sqlite3_errmsg(m_db);
}

int CDatabase::ReadInt(const char* sql, int& value) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
            value = sqlite3_column_int(stmt, 0);
            rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(stmt);
    return PrimaryCode(rc);
}

int CDatabase::ReadIdentity(int& appId, int& version, int& objects) {
    // The three are read in one transaction: read one by one, another connection creating the
    // schema between them would show a stamp of 0 beside its objects, a file of another program.
    const bool ownTransaction = sqlite3_get_autocommit(m_db) != 0;
    int rc = ownTransaction ? Exec("BEGIN") : SQLITE_OK;
    if (rc == SQLITE_OK) {
        rc = ReadInt("PRAGMA application_id", appId);
    }
    if (rc == SQLITE_OK) {
        rc = ReadInt("PRAGMA user_version", version);
    }
    if (rc == SQLITE_OK) {
        rc = ReadInt("SELECT count(*) FROM sqlite_master", objects);
    }
    if (ownTransaction && sqlite3_get_autocommit(m_db) == 0) {
        const int end = Exec(rc == SQLITE_OK ? "COMMIT" : "ROLLBACK");
        rc = rc == SQLITE_OK ? end : rc;
    }
    if (rc != SQLITE_OK) {
        AfLog(4, kLogFile, "CDatabase::ReadIdentity", __LINE__,
              "Error: table file %s cannot be read (%s); it is left as it is.", m_path.c_str(),
              sqlite3_errmsg(m_db));
    }
    return rc;
}

int CDatabase::CheckIdentity(int appId, int version, int objects) {
    if (appId == kDbApplicationId && version >= 1 && version <= kDbSchemaVersion) {
        return SQLITE_OK;  // ours; one of an older schema is brought up to date now
    }
    if (appId == 0 && version == 0 && objects == 0) {
        return SQLITE_OK;  // new and empty: the schema is created now
    }
    if (appId == kDbApplicationId && version > kDbSchemaVersion) {
        AfLog(4, kLogFile, "CDatabase::CheckIdentity", __LINE__,
              "Error: table file %s was written by a newer release (schema %d, this release "
              "reads %d); it is left as it is.",
              m_path.c_str(), version, kDbSchemaVersion);
    } else {
        AfLog(4, kLogFile, "CDatabase::CheckIdentity", __LINE__,
              "Error: table file %s belongs to another program (application id %d, version %d, "
              "%d objects); it is left as it is.",
              m_path.c_str(), appId, version, objects);
    }
    return SQLITE_NOTADB;
}

int CDatabase::SetJournal() {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, "PRAGMA journal_mode=WAL", -1, &stmt, nullptr);
    std::string mode;
    if (rc == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW &&
        sqlite3_column_text(stmt, 0) != nullptr) {
        mode = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    rc = sqlite3_finalize(stmt);
    if (rc == SQLITE_OK && mode != "wal") {
        // Still consistent and durable with the rollback journal, only readers wait for writers.
        AfLog(4, kLogFile, "CDatabase::SetJournal", __LINE__,
              "Error: table file %s stays in journal mode %s", m_path.c_str(), mode.c_str());
    }
    // A committed transaction is in the log file before the call returns, so it survives the
    // process being killed; only a power cut can take back the last few.
    return rc == SQLITE_OK ? Exec("PRAGMA synchronous=NORMAL") : PrimaryCode(rc);
}

int CDatabase::CheckAndCreateSchema(DbFile file) {
    int appId = 0;
    int version = 0;
    int objects = 0;
    int rc = ReadIdentity(appId, version, objects);
    if (rc == SQLITE_OK) {
        rc = CheckIdentity(appId, version, objects);
    }
    if (rc == SQLITE_OK) {
        rc = SetJournal();
    }
    // A file of the current schema is only read here: opening never writes to a file that
    // may be damaged further on.
    if (rc == SQLITE_OK && (appId != kDbApplicationId || version < kDbSchemaVersion)) {
        rc = CreateSchema(file);
    }
    return rc;
}

int CDatabase::Migrate(DbFile file, int fromVersion) {
    for (int version = fromVersion; version < kDbSchemaVersion; ++version) {
        int rc = Exec(DbFileMigration(file, version));
        if (rc != SQLITE_OK) {
            return rc;
        }
    }
    return SQLITE_OK;
}

int CDatabase::CreateSchema(DbFile file) {
    int rc = Exec("BEGIN IMMEDIATE");
    if (rc == SQLITE_OK) {
        // Another process may have set the file up between the first look and the lock.
        int appId = 0;
        int version = 0;
        int objects = 0;
        rc = ReadIdentity(appId, version, objects);
        if (rc == SQLITE_OK) {
            rc = CheckIdentity(appId, version, objects);
        }
        if (rc != SQLITE_OK) {
            Exec("ROLLBACK");
            return rc;
        }
        if (appId == kDbApplicationId && version == kDbSchemaVersion) {
            return Exec("COMMIT");  // another process brought it up to date meanwhile
        }
        if (appId == kDbApplicationId) {
            rc = Migrate(file, version);
        }
        const std::string stamp = "PRAGMA application_id=" + std::to_string(kDbApplicationId) +
                                  "; PRAGMA user_version=" + std::to_string(kDbSchemaVersion);
        if (rc == SQLITE_OK) {
            rc = Exec(DbFileSchema(file));
        }
        if (rc == SQLITE_OK) {
            rc = Exec(stamp.c_str());
        }
        if (rc == SQLITE_OK) {
            rc = Exec("COMMIT");
        }
        if (rc == SQLITE_OK && appId == kDbApplicationId) {
            AfLog(1, kLogFile, "CDatabase::CreateSchema", __LINE__,
                  "table file %s brought from schema %d to %d", m_path.c_str(), version,
                  kDbSchemaVersion);
        }
    }
    if (rc != SQLITE_OK) {
        AfLog(4, kLogFile, "CDatabase::CreateSchema", __LINE__,
              "Error: cannot set up table file %s: %s (%d)", m_path.c_str(), sqlite3_errmsg(m_db),
              rc);
        Exec("ROLLBACK");
    }
    return rc;
}
