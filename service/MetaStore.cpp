#include "service/MetaStore.h"

#include <chrono>

namespace {

const char* const kSchema = R"(
CREATE TABLE IF NOT EXISTS accounts(
    id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL UNIQUE, salt TEXT NOT NULL,
    hash TEXT NOT NULL, utype TEXT NOT NULL, space TEXT NOT NULL, push TEXT NOT NULL,
    quota INTEGER NOT NULL, disabled INTEGER NOT NULL, expired INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS tokens(
    token TEXT PRIMARY KEY, account INTEGER NOT NULL, kind INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS entries(
    id INTEGER PRIMARY KEY AUTOINCREMENT, account INTEGER NOT NULL, pid INTEGER NOT NULL,
    name TEXT NOT NULL, isdir INTEGER NOT NULL, size INTEGER NOT NULL, md5 TEXT NOT NULL,
    created INTEGER NOT NULL, modified INTEGER NOT NULL, UNIQUE(account, pid, name));
CREATE INDEX IF NOT EXISTS entries_account ON entries(account);
CREATE INDEX IF NOT EXISTS entries_content ON entries(account, md5, size);
CREATE TABLE IF NOT EXISTS uploads(
    sname TEXT PRIMARY KEY, account INTEGER NOT NULL, pid INTEGER NOT NULL, name TEXT NOT NULL,
    size INTEGER NOT NULL, md5 TEXT NOT NULL, fid INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS settings(key TEXT PRIMARY KEY, value TEXT NOT NULL);
)";

const char* const kEntryColumns =
    "id, account, pid, name, isdir, size, md5, created, modified FROM entries ";

std::int64_t NowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

// One use of a cached prepared statement; resets it when done.
class CMetaStore::CStatement {
  public:
    CStatement(CMetaStore& store, const char* sql) : m_store(store), m_pStmt(store.Prepare(sql)) {}
    ~CStatement() {
        sqlite3_reset(m_pStmt);
        sqlite3_clear_bindings(m_pStmt);
    }
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;

    CStatement& Bind(std::int64_t value) {
        Check(sqlite3_bind_int64(m_pStmt, ++m_iBound, value));
        return *this;
    }
    CStatement& Bind(const std::string& value) {
        Check(sqlite3_bind_text(m_pStmt, ++m_iBound, value.data(), static_cast<int>(value.size()),
                                SQLITE_TRANSIENT));
        return *this;
    }
    // true while a row is ready.
    bool Step() {
        int rc = sqlite3_step(m_pStmt);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc != SQLITE_DONE) {
            m_store.Fail("step");
        }
        return false;
    }
    void Run() {
        while (Step()) {
        }
    }
    std::int64_t Int(int column) { return sqlite3_column_int64(m_pStmt, column); }
    std::string Text(int column) {
        const auto* text = sqlite3_column_text(m_pStmt, column);
        return text ? std::string(reinterpret_cast<const char*>(text),
                                  static_cast<size_t>(sqlite3_column_bytes(m_pStmt, column)))
                    : std::string();
    }
    TEntry Entry() {
        TEntry e;
        e.iId = Int(0);
        e.iAccount = Int(1);
        e.iPId = Int(2);
        e.strName = Text(3);
        e.bDir = Int(4) != 0;
        e.iSize = Int(5);
        e.strMD5 = Text(6);
        e.iCreated = Int(7);
        e.iModified = Int(8);
        return e;
    }
    std::vector<TEntry> AllEntries() {
        std::vector<TEntry> entries;
        while (Step()) {
            entries.push_back(Entry());
        }
        return entries;
    }
    TAccount Account() {
        TAccount a;
        a.iId = Int(0);
        a.strName = Text(1);
        a.strUserType = Text(2);
        a.strSpaceId = Text(3);
        a.strPushId = Text(4);
        a.iQuota = Int(5);
        a.bDisabled = Int(6) != 0;
        a.bExpired = Int(7) != 0;
        return a;
    }

  private:
    void Check(int rc) {
        if (rc != SQLITE_OK) {
            m_store.Fail("bind");
        }
    }

    CMetaStore& m_store;
    sqlite3_stmt* m_pStmt;
    int m_iBound = 0;
};

CMetaStore::CTransaction::CTransaction(CMetaStore& store, const CLock&) : m_store(store) {
    m_store.Exec("BEGIN IMMEDIATE");
}

CMetaStore::CTransaction::~CTransaction() {
    if (!m_bDone) {
        sqlite3_exec(m_store.m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void CMetaStore::CTransaction::Commit() {
    m_store.Exec("COMMIT");
    m_bDone = true;
}

CMetaStore::CMetaStore(const std::filesystem::path& file) {
    if (sqlite3_open_v2(file.c_str(), &m_pDb,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        std::string message = m_pDb ? sqlite3_errmsg(m_pDb) : "out of memory";
        sqlite3_close(m_pDb);
        throw CStoreError("cannot open " + file.string() + ": " + message);
    }
    try {
        sqlite3_busy_timeout(m_pDb, 5000);
        // WAL with NORMAL sync keeps every committed change across a killed process.
        Exec("PRAGMA journal_mode=WAL");
        Exec("PRAGMA synchronous=NORMAL");
        Exec(kSchema);
        CStatement stmt(*this, "SELECT max(modified) FROM entries");
        if (stmt.Step()) {
            m_iLastStamp = stmt.Int(0);
        }
    } catch (...) {
        for (auto& [sql, pStmt] : m_statements) {
            sqlite3_finalize(pStmt);
        }
        sqlite3_close(m_pDb);
        throw;
    }
}

CMetaStore::~CMetaStore() {
    for (auto& [sql, pStmt] : m_statements) {
        sqlite3_finalize(pStmt);
    }
    sqlite3_close(m_pDb);
}

// Statements are cached by the address of their text, which is always a literal.
sqlite3_stmt* CMetaStore::Prepare(const char* sql) {
    auto it = m_statements.find(sql);
    if (it != m_statements.end()) {
        return it->second;
    }
    sqlite3_stmt* pStmt = nullptr;
    if (sqlite3_prepare_v2(m_pDb, sql, -1, &pStmt, nullptr) != SQLITE_OK) {
        Fail("prepare");
    }
    m_statements.emplace(sql, pStmt);
    return pStmt;
}

void CMetaStore::Exec(const char* sql) {
    if (sqlite3_exec(m_pDb, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        Fail("exec");
    }
}

void CMetaStore::Fail(const char* what) {
    throw CStoreError(std::string("metadata store ") + what + ": " + sqlite3_errmsg(m_pDb));
}

std::optional<TAccount> CMetaStore::FindAccount(const CLock&, std::int64_t id) {
    CStatement stmt(*this,
                    "SELECT id, name, utype, space, push, quota, disabled, expired FROM accounts "
                    "WHERE id = ?");
    stmt.Bind(id);
    if (!stmt.Step()) {
        return std::nullopt;
    }
    return stmt.Account();
}

std::optional<TAccount> CMetaStore::FindAccountByName(const CLock&, const std::string& name) {
    CStatement stmt(*this,
                    "SELECT id, name, utype, space, push, quota, disabled, expired FROM accounts "
                    "WHERE name = ?");
    stmt.Bind(name);
    if (!stmt.Step()) {
        return std::nullopt;
    }
    return stmt.Account();
}

std::vector<TAccount> CMetaStore::Accounts(const CLock&) {
    CStatement stmt(*this,
                    "SELECT id, name, utype, space, push, quota, disabled, expired FROM accounts "
                    "ORDER BY id");
    std::vector<TAccount> accounts;
    while (stmt.Step()) {
        accounts.push_back(stmt.Account());
    }
    return accounts;
}

TAccount CMetaStore::InsertAccount(const CLock& lock, TAccount account, const std::string& salt,
                                   const std::string& hash) {
    CTransaction transaction(*this, lock);
    CStatement(*this,
               "INSERT INTO accounts(name, salt, hash, utype, space, push, quota, disabled, "
               "expired) VALUES(?, ?, ?, ?, '', ?, ?, ?, ?)")
        .Bind(account.strName)
        .Bind(salt)
        .Bind(hash)
        .Bind(account.strUserType)
        .Bind(account.strPushId)
        .Bind(account.iQuota)
        .Bind(account.bDisabled ? 1 : 0)
        .Bind(account.bExpired ? 1 : 0)
        .Run();
    account.iId = sqlite3_last_insert_rowid(m_pDb);
    // The space id differs from the user id, so that a client mixing the two is caught.
    account.strSpaceId = std::to_string(100000 + account.iId);
    CStatement(*this, "UPDATE accounts SET space = ? WHERE id = ?")
        .Bind(account.strSpaceId)
        .Bind(account.iId)
        .Run();
    transaction.Commit();
    return account;
}

void CMetaStore::UpdateAccount(const CLock&, const TAccount& account) {
    CStatement(*this, "UPDATE accounts SET quota = ?, disabled = ?, expired = ? WHERE id = ?")
        .Bind(account.iQuota)
        .Bind(account.bDisabled ? 1 : 0)
        .Bind(account.bExpired ? 1 : 0)
        .Bind(account.iId)
        .Run();
}

void CMetaStore::SetPassword(const CLock&, std::int64_t account, const std::string& salt,
                             const std::string& hash) {
    CStatement(*this, "UPDATE accounts SET salt = ?, hash = ? WHERE id = ?")
        .Bind(salt)
        .Bind(hash)
        .Bind(account)
        .Run();
}

std::pair<std::string, std::string> CMetaStore::Password(const CLock&, std::int64_t account) {
    CStatement stmt(*this, "SELECT salt, hash FROM accounts WHERE id = ?");
    stmt.Bind(account);
    if (!stmt.Step()) {
        return {};
    }
    return {stmt.Text(0), stmt.Text(1)};
}

void CMetaStore::InsertToken(const CLock&, const std::string& token, std::int64_t account,
                             int kind) {
    CStatement(*this, "INSERT INTO tokens(token, account, kind) VALUES(?, ?, ?)")
        .Bind(token)
        .Bind(account)
        .Bind(kind)
        .Run();
}

std::optional<std::int64_t> CMetaStore::TokenAccount(const CLock&, const std::string& token,
                                                     int kind) {
    CStatement stmt(*this, "SELECT account FROM tokens WHERE token = ? AND kind = ?");
    stmt.Bind(token).Bind(kind);
    if (!stmt.Step()) {
        return std::nullopt;
    }
    return stmt.Int(0);
}

std::optional<TEntry> CMetaStore::FindEntry(const CLock&, std::int64_t account, std::int64_t id) {
    static const std::string sql =
        std::string("SELECT ") + kEntryColumns + "WHERE account = ? AND id = ?";
    CStatement stmt(*this, sql.c_str());
    stmt.Bind(account).Bind(id);
    if (!stmt.Step()) {
        return std::nullopt;
    }
    return stmt.Entry();
}

std::optional<TEntry> CMetaStore::FindChild(const CLock&, std::int64_t account, std::int64_t pid,
                                            const std::string& name) {
    static const std::string sql =
        std::string("SELECT ") + kEntryColumns + "WHERE account = ? AND pid = ? AND name = ?";
    CStatement stmt(*this, sql.c_str());
    stmt.Bind(account).Bind(pid).Bind(name);
    if (!stmt.Step()) {
        return std::nullopt;
    }
    return stmt.Entry();
}

std::optional<TEntry> CMetaStore::FindByContent(const CLock&, std::int64_t account,
                                                const std::string& md5, std::int64_t size) {
    static const std::string sql = std::string("SELECT ") + kEntryColumns +
                                   "WHERE account = ? AND md5 = ? AND size = ? AND isdir = 0 "
                                   "LIMIT 1";
    CStatement stmt(*this, sql.c_str());
    stmt.Bind(account).Bind(md5).Bind(size);
    if (!stmt.Step()) {
        return std::nullopt;
    }
    return stmt.Entry();
}

std::vector<TEntry> CMetaStore::Entries(const CLock&, std::int64_t account) {
    static const std::string sql =
        std::string("SELECT ") + kEntryColumns + "WHERE account = ? ORDER BY id";
    CStatement stmt(*this, sql.c_str());
    stmt.Bind(account);
    return stmt.AllEntries();
}

std::vector<TEntry> CMetaStore::Children(const CLock&, std::int64_t account, std::int64_t pid) {
    static const std::string sql =
        std::string("SELECT ") + kEntryColumns + "WHERE account = ? AND pid = ? ORDER BY id";
    CStatement stmt(*this, sql.c_str());
    stmt.Bind(account).Bind(pid);
    return stmt.AllEntries();
}

std::vector<TEntry> CMetaStore::Subtree(const CLock&, std::int64_t account, std::int64_t id) {
    static const std::string sql =
        std::string(
            "WITH RECURSIVE sub(eid) AS (SELECT ? UNION ALL SELECT entries.id FROM "
            "entries JOIN sub ON entries.pid = sub.eid WHERE entries.account = ?) "
            "SELECT ") +
        kEntryColumns + "WHERE account = ? AND id IN (SELECT eid FROM sub) ORDER BY id";
    CStatement stmt(*this, sql.c_str());
    stmt.Bind(id).Bind(account).Bind(account);
    return stmt.AllEntries();
}

std::int64_t CMetaStore::InsertEntry(const CLock&, const TEntry& entry) {
    CStatement(*this,
               "INSERT INTO entries(account, pid, name, isdir, size, md5, created, modified) "
               "VALUES(?, ?, ?, ?, ?, ?, ?, ?)")
        .Bind(entry.iAccount)
        .Bind(entry.iPId)
        .Bind(entry.strName)
        .Bind(entry.bDir ? 1 : 0)
        .Bind(entry.iSize)
        .Bind(entry.strMD5)
        .Bind(entry.iCreated)
        .Bind(entry.iModified)
        .Run();
    return sqlite3_last_insert_rowid(m_pDb);
}

void CMetaStore::UpdateEntry(const CLock&, const TEntry& entry) {
    CStatement(*this,
               "UPDATE entries SET pid = ?, name = ?, size = ?, md5 = ?, modified = ? "
               "WHERE id = ?")
        .Bind(entry.iPId)
        .Bind(entry.strName)
        .Bind(entry.iSize)
        .Bind(entry.strMD5)
        .Bind(entry.iModified)
        .Bind(entry.iId)
        .Run();
}

void CMetaStore::DeleteEntry(const CLock&, std::int64_t id) {
    CStatement(*this, "DELETE FROM entries WHERE id = ?").Bind(id).Run();
}

std::int64_t CMetaStore::FileCount(const CLock&, std::int64_t account) {
    CStatement stmt(*this, "SELECT count(*) FROM entries WHERE account = ? AND isdir = 0");
    stmt.Bind(account);
    stmt.Step();
    return stmt.Int(0);
}

std::int64_t CMetaStore::UsedBytes(const CLock&, std::int64_t account) {
    CStatement stmt(*this,
                    "SELECT coalesce(sum(size), 0) FROM entries WHERE account = ? AND isdir = 0");
    stmt.Bind(account);
    stmt.Step();
    return stmt.Int(0);
}

void CMetaStore::InsertUpload(const CLock&, const TUpload& upload) {
    CStatement(*this,
               "INSERT INTO uploads(sname, account, pid, name, size, md5, fid) "
               "VALUES(?, ?, ?, ?, ?, ?, ?)")
        .Bind(upload.strStorageName)
        .Bind(upload.iAccount)
        .Bind(upload.iPId)
        .Bind(upload.strName)
        .Bind(upload.iSize)
        .Bind(upload.strMD5)
        .Bind(upload.iFileId)
        .Run();
}

std::optional<TUpload> CMetaStore::FindUpload(const CLock&, const std::string& storageName) {
    CStatement stmt(*this,
                    "SELECT sname, account, pid, name, size, md5, fid FROM uploads "
                    "WHERE sname = ?");
    stmt.Bind(storageName);
    if (!stmt.Step()) {
        return std::nullopt;
    }
    TUpload upload;
    upload.strStorageName = stmt.Text(0);
    upload.iAccount = stmt.Int(1);
    upload.iPId = stmt.Int(2);
    upload.strName = stmt.Text(3);
    upload.iSize = stmt.Int(4);
    upload.strMD5 = stmt.Text(5);
    upload.iFileId = stmt.Int(6);
    return upload;
}

void CMetaStore::SetUploadFile(const CLock&, const std::string& storageName, std::int64_t fileId) {
    CStatement(*this, "UPDATE uploads SET fid = ? WHERE sname = ?")
        .Bind(fileId)
        .Bind(storageName)
        .Run();
}

std::optional<std::string> CMetaStore::Setting(const CLock&, const std::string& key) {
    CStatement stmt(*this, "SELECT value FROM settings WHERE key = ?");
    stmt.Bind(key);
    if (!stmt.Step()) {
        return std::nullopt;
    }
    return stmt.Text(0);
}

void CMetaStore::SetSetting(const CLock&, const std::string& key, const std::string& value) {
    CStatement(*this, "INSERT OR REPLACE INTO settings(key, value) VALUES(?, ?)")
        .Bind(key)
        .Bind(value)
        .Run();
}

std::int64_t CMetaStore::NextStamp(const CLock&) {
    m_iLastStamp = std::max(NowMicros(), m_iLastStamp + 1);
    return m_iLastStamp;
}
