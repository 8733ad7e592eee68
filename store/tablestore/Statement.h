#pragma once
// One use of a prepared statement of a table file: binds parameters, steps, reads columns, and
// resets the statement when it goes out of scope so that the cached statement is ready for the
// next use. The caller holds the file's lock for the whole use (CDatabase::Lock).

#include <sqlite3.h>

#include <string>
#include <utility>
#include <vector>

#include "store/tablestore/Schema.h"

class CDatabase;

class CStatement {
  public:
    // Takes the cached statement for sql; Error() tells whether that worked.
    CStatement(CDatabase& database, const std::string& sql);
    ~CStatement();
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;

    // The first failure of preparing or binding (a primary SQLite code), else SQLITE_OK.
    int Error() const { return m_iError; }

    void Bind(int index, int value);
    void Bind(int index, const std::string& value);
    // Stored as UTF-8.
    void Bind(int index, const std::wstring& value);

    // SQLITE_ROW, SQLITE_DONE or a primary error code (also the bind error, if any).
    int Step();
    // Steps to the end of a statement that returns no rows: SQLITE_OK or the error.
    int Run();

    // Appends a record per row, filled by read(*this, record): SQLITE_OK or the error.
    template <class Record, class Read>
    int ReadRows(std::vector<Record>& out, Read read) {
        int rc = Step();
        for (; rc == SQLITE_ROW; rc = Step()) {
            Record record;
            read(*this, record);
            out.push_back(std::move(record));
        }
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }
    // Reads the first row with read(*this): SQLITE_OK, 1001 when there is none, or the error.
    template <class Read>
    int ReadRow(Read read) {
        int rc = Step();
        if (rc == SQLITE_ROW) {
            read(*this);
            return SQLITE_OK;
        }
        return rc == SQLITE_DONE ? DB_RESULT_MISSING : rc;
    }

    int Int(int column) const;
    std::string Text(int column) const;
    std::wstring WText(int column) const;

  private:
    sqlite3_stmt* m_pStmt = nullptr;
    int m_iError = SQLITE_OK;
};
