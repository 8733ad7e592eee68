#pragma once
// One open table file: its SQLite connection, the statements prepared on it and the lock that
// makes one table operation atomic among the threads of this process. Other processes (the
// desktop client and the engine open the same files) are kept apart by SQLite's own file locks;
// the busy time-out lets a writer wait for them instead of failing with "database is locked".
//
// A file that is damaged, belongs to another program or was written by a newer release is
// reported (an error result and a log line) and left exactly as it is. A file of an older
// schema of ours is brought up to date when it is opened, in one transaction: a step that
// fails leaves it as it was and the open fails.

#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "store/tablestore/Schema.h"

class CDatabase {
  public:
    // Opens (creating it when missing, mode 0600) and checks the file. Result: SQLITE_OK with
    // out set, or a primary SQLite code with a log line (SQLITE_NOTADB for a damaged or foreign
    // file or one of a newer release, SQLITE_CANTOPEN when it cannot be opened at all).
    static int Open(const std::filesystem::path& path, DbFile file,
                    std::shared_ptr<CDatabase>& out);

    ~CDatabase();
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;

    // Held for the whole of one table operation.
    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(m_mutex); }

    // The cached statement for sql, prepared on first use; null with rc set on failure. The
    // caller holds Lock().
    sqlite3_stmt* Prepare(const std::string& sql, int& rc);
    // Runs statements that return no rows (caller holds Lock()): SQLITE_OK or a primary code.
    int Exec(const char* sql);

    // Rows changed by the last statement (caller holds Lock()).
    int Changes() const { return sqlite3_changes(m_db); }

    // True when the file at the path is no longer the one this connection has open (it was
    // deleted, or replaced by a new file), so the connection must be dropped.
    bool HasMoved();

    const std::filesystem::path& Path() const { return m_path; }
    // sqlite3_errmsg of the connection, for log lines.
    const char* ErrorText() const;

  private:
    CDatabase(sqlite3* db, std::filesystem::path path);
    int CheckAndCreateSchema(DbFile file);
    // Sets up a new file, or brings one of an older schema up to date, in one transaction.
    int CreateSchema(DbFile file);
    // The migration steps from fromVersion on (caller holds the transaction).
    int Migrate(DbFile file, int fromVersion);
    int ReadIdentity(int& appId, int& version, int& objects);
    int ReadInt(const char* sql, int& value);
    int SetJournal();
    int CheckIdentity(int appId, int version, int objects);

    sqlite3* m_db;
    std::filesystem::path m_path;
    std::mutex m_mutex;
    std::unordered_map<std::string, sqlite3_stmt*> m_statements;
};

// The primary SQLite code of rc: extended codes could otherwise collide with the system's own
// result ranges (1001, 1002, 7000...).
inline int PrimaryCode(int rc) {
    return rc & 0xFF;
}

// An immediate (write-locking) transaction on a file whose lock the caller holds; rolled back
// unless committed.
class CTransaction {
  public:
    explicit CTransaction(CDatabase& database)
        : m_database(database), m_iBegin(database.Exec("BEGIN IMMEDIATE")) {}
    ~CTransaction() {
        if (m_iBegin == SQLITE_OK && !m_bDone) {
            m_database.Exec("ROLLBACK");
        }
    }
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;

    // SQLITE_OK once begun.
    int Begin() const { return m_iBegin; }
    // Commits when rc is SQLITE_OK (returning the commit's result), else rolls back and
    // returns rc.
    int Finish(int rc) {
        m_bDone = true;
        if (rc == SQLITE_OK) {
            rc = m_database.Exec("COMMIT");
        }
        if (rc != SQLITE_OK) {
            m_database.Exec("ROLLBACK");
        }
        return rc;
    }

  private:
    CDatabase& m_database;
    int m_iBegin;
    bool m_bDone = false;
};
