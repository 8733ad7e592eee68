#include "store/tablestore/Statement.h"

#include "common/Utility.h"
#include "store/tablestore/Database.h"

CStatement::CStatement(CDatabase& database, const std::string& sql) {
    int rc = SQLITE_OK;
    m_pStmt = database.Prepare(sql, rc);
    m_iError = PrimaryCode(rc);
}

CStatement::~CStatement() {
    if (m_pStmt != nullptr) {
        sqlite3_reset(m_pStmt);
        sqlite3_clear_bindings(m_pStmt);
    }
}

void CStatement::Bind(int index, int value) {
    if (m_iError == SQLITE_OK) {
        m_iError = PrimaryCode(sqlite3_bind_int(m_pStmt, index, value));
    }
}

void CStatement::Bind(int index, const std::string& value) {
    if (m_iError == SQLITE_OK) {
        // Bytes as given, embedded NULs included; SQLite copies them.
        m_iError = PrimaryCode(sqlite3_bind_text64(m_pStmt, index, value.data(), value.size(),
                                                   SQLITE_TRANSIENT, SQLITE_UTF8));
    }
}

void CStatement::Bind(int index, const std::wstring& value) {
    Bind(index, WstringToString(value));
}

int CStatement::Step() {
    if (m_iError != SQLITE_OK) {
        return m_iError;
    }
    int rc = sqlite3_step(m_pStmt);
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? rc : PrimaryCode(rc);
}

int CStatement::Run() {
    int rc = Step();
    while (rc == SQLITE_ROW) {
        rc = Step();
    }
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int CStatement::Int(int column) const {
    return sqlite3_column_int(m_pStmt, column);
}

std::string CStatement::Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_pStmt, column));
    if (text == nullptr) {
        return {};
    }
    return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(m_pStmt, column)));
}

std::wstring CStatement::WText(int column) const {
    std::wstring wide;
    Utf82WideString(Text(column), wide);
    return wide;
}
