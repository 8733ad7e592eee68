#include "store/tablestore/DbBase.h"

#include "common/AfLog.h"
#include "store/tablestore/DatabasePool.h"
#include "store/tablestore/Statement.h"

namespace {
const char* const kLogFile = "DbBase.cpp";
}

CDbBase::CDbBase(DbFile file) : m_eFile(file) {}

CDbBase::~CDbBase() = default;

int CDbBase::Connect() {
    return CDatabasePool::Instance().Acquire(m_eFile, m_pDatabase);
}

int CDbBase::Disconnect() {
    m_pDatabase.reset();
    return SQLITE_OK;
}

int CDbBase::DropTable(std::string name) {
    std::optional<DbFile> file = DbFileOfTable(name);
    if (!file) {
        AfLog(1, kLogFile, "CDbBase::DropTable", __LINE__, "Error: no table named (%s)",
              name.c_str());
        return DB_RESULT_MISSING;
    }
    std::shared_ptr<CDatabase> database;
    int rc = CDatabasePool::Instance().Acquire(*file, database);
    if (rc != SQLITE_OK) {
        return rc;
    }
    auto lock = database->Lock();
    // The table stays, empty: the store's other operations go on using it.
    CStatement statement(*database, "DELETE FROM " + name);
    rc = statement.Run();
    if (rc != SQLITE_OK) {
        AfLog(1, kLogFile, "CDbBase::DropTable", __LINE__, "Error: emptying %s: %s (%d)",
              name.c_str(), database->ErrorText(), rc);
    }
    return rc;
}

void CDbBase::Lock() {
    m_objectMutex.lock();
}

void CDbBase::UnLock() {
    m_objectMutex.unlock();
}

void CDbBase::SetAccount(const std::string& account) {
    CDatabasePool::Instance().SetAccount(account);
}

std::string CDbBase::GetAccount() {
    return CDatabasePool::Instance().GetAccount();
}

int CDbBase::Checked(int rc, const char* function) const {
    if (rc != SQLITE_OK && rc != DB_RESULT_MISSING) {
        AfLog(1, kLogFile, function, __LINE__, "Error: %s in %s (%d)", m_pDatabase->ErrorText(),
              m_pDatabase->Path().c_str(), rc);
    }
    return rc;
}
