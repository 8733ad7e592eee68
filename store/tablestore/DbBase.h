#pragma once
// Base of the table objects. Every use is bracketed: ConnectDB, one operation, Disconnect (also
// after a failed ConnectDB). ConnectDB takes the account's table file from the files this
// process keeps open, so it is cheap; Disconnect hands it back.
//
// Results: 0 for success; otherwise a primary SQLite result code (5 busy, 11 damaged file,
// 13 disk full, 14 cannot open, 19 key already used, 21 operation without a connection,
// 26 not a table file of this program or of a newer release), or 1001 where a table operation
// names a row or a table that does not exist. Failures are logged with SQLite's own text.
//
// A table object is used by one thread at a time (its owner serialises); separate objects may
// be used from separate threads at once.

#include <memory>
#include <mutex>
#include <string>

#include "store/tablestore/Schema.h"

class CDatabase;

class CDbBase {
  public:
    virtual ~CDbBase();
    CDbBase(const CDbBase&) = delete;
    CDbBase& operator=(const CDbBase&) = delete;

    virtual int Disconnect();
    virtual int ConnectDB() = 0;

    // Empties the named table, whichever of the three files holds it; 1001 for a name that is
    // not a table of the store.
    int DropTable(std::string name);

    // A mutex of the object for callers that share one object between threads.
    void Lock();
    void UnLock();

    // The account whose folder (user/<account>/ in the data folder) holds the tables, for this
    // process. Files of another account that are open are closed once no object uses them.
    static void SetAccount(const std::string& account);
    static std::string GetAccount();

  protected:
    explicit CDbBase(DbFile file);

    // ConnectDB of the table classes.
    int Connect();
    // The connected file, or null before a successful ConnectDB.
    CDatabase* Database() const { return m_pDatabase.get(); }
    // Logs a failed operation with SQLite's text (caller holds the file's lock); returns rc.
    int Checked(int rc, const char* function) const;

  private:
    DbFile m_eFile;
    std::shared_ptr<CDatabase> m_pDatabase;
    std::mutex m_objectMutex;
};
