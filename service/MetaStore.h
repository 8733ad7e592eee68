#pragma once
// The service's metadata in one SQLite file: accounts, session and web tokens, the entries of
// every account's space, registered uploads and settings.
//
// Thread-safe through one mutex: every operation takes the CLock that Lock() hands out, so a
// caller that checks and then writes holds the lock across both. Failures of the database
// (disk full, damaged file) throw CStoreError; the request that met one answers a storage
// failure and changes nothing, because writes that belong together run in one CTransaction.

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "service/ServiceRecords.h"

class CStoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class CMetaStore {
  public:
    // Proof that the caller holds the store's mutex.
    class CLock {
      public:
        explicit CLock(std::mutex& mutex) : m_lock(mutex) {}

      private:
        std::unique_lock<std::mutex> m_lock;
    };

    // Rolls back unless Commit() was called.
    class CTransaction {
      public:
        CTransaction(CMetaStore& store, const CLock& lock);
        ~CTransaction();
        CTransaction(const CTransaction&) = delete;
        CTransaction& operator=(const CTransaction&) = delete;
        void Commit();

      private:
        CMetaStore& m_store;
        bool m_bDone = false;
    };

    // Opens or creates the file; throws CStoreError when it cannot.
    explicit CMetaStore(const std::filesystem::path& file);
    ~CMetaStore();
    CMetaStore(const CMetaStore&) = delete;
    CMetaStore& operator=(const CMetaStore&) = delete;

    CLock Lock() { return CLock(m_mutex); }

    std::optional<TAccount> FindAccount(const CLock&, std::int64_t id);
    std::optional<TAccount> FindAccountByName(const CLock&, const std::string& name);
    std::vector<TAccount> Accounts(const CLock&);
    // Inserts the account (its id, space id and push id are assigned) and returns it.
    TAccount InsertAccount(const CLock&, TAccount account, const std::string& salt,
                           const std::string& hash);
    // Stores quota, disabled and expired of the account.
    void UpdateAccount(const CLock&, const TAccount& account);
    void SetPassword(const CLock&, std::int64_t account, const std::string& salt,
                     const std::string& hash);
    // Salt and hash of the account's password.
    std::pair<std::string, std::string> Password(const CLock&, std::int64_t account);

    // kind: 0 session token, 1 web token.
    void InsertToken(const CLock&, const std::string& token, std::int64_t account, int kind);
    std::optional<std::int64_t> TokenAccount(const CLock&, const std::string& token, int kind);

    std::optional<TEntry> FindEntry(const CLock&, std::int64_t account, std::int64_t id);
    std::optional<TEntry> FindChild(const CLock&, std::int64_t account, std::int64_t pid,
                                    const std::string& name);
    std::optional<TEntry> FindByContent(const CLock&, std::int64_t account, const std::string& md5,
                                        std::int64_t size);
    // Every entry of the account, by id.
    std::vector<TEntry> Entries(const CLock&, std::int64_t account);
    std::vector<TEntry> Children(const CLock&, std::int64_t account, std::int64_t pid);
    // The item and everything below it.
    std::vector<TEntry> Subtree(const CLock&, std::int64_t account, std::int64_t id);
    // Assigns and returns the new id.
    std::int64_t InsertEntry(const CLock&, const TEntry& entry);
    // Stores parent, name, size, MD5 and modification stamp.
    void UpdateEntry(const CLock&, const TEntry& entry);
    void DeleteEntry(const CLock&, std::int64_t id);
    // How many files the account holds.
    std::int64_t FileCount(const CLock&, std::int64_t account);
    // Bytes held by the account's files.
    std::int64_t UsedBytes(const CLock&, std::int64_t account);

    void InsertUpload(const CLock&, const TUpload& upload);
    std::optional<TUpload> FindUpload(const CLock&, const std::string& storageName);
    void SetUploadFile(const CLock&, const std::string& storageName, std::int64_t fileId);

    std::optional<std::string> Setting(const CLock&, const std::string& key);
    void SetSetting(const CLock&, const std::string& key, const std::string& value);

    // A modification stamp: the current time in microseconds, raised past every stamp given
    // before (also by an earlier run) so that two changes never share one.
    std::int64_t NextStamp(const CLock&);

  private:
    class CStatement;

    sqlite3_stmt* Prepare(const char* sql);
    void Exec(const char* sql);
    [[noreturn]] void Fail(const char* what);

    std::mutex m_mutex;
    sqlite3* m_pDb = nullptr;
    std::map<const char*, sqlite3_stmt*> m_statements;
    std::int64_t m_iLastStamp = 0;
};
