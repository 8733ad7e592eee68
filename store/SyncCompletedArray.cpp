#include "store/SyncCompletedArray.h"

#include <algorithm>
#include <new>

#include "store/StoreCommon.h"

CSyncCompletedArray* CSyncCompletedArray::Get() {
    static CSyncCompletedArray instance;
    return &instance;
}

CSyncCompletedArray::CSyncCompletedArray() : m_pTable(new (std::nothrow) CSyncCompleted) {
    if (m_pTable == nullptr) {
        AfLog(6, kBaseDataLog, "CSyncCompletedArray::CSyncCompletedArray", __LINE__, "%s",
              "Error: Create CSyncCompleted Failed.");
    }
}

int CSyncCompletedArray::GetAutoCmpdID() {
    return NextKey(m_iAutoCmpdId);
}

void CSyncCompletedArray::InitAutoCmpdID() {
    for (const SyncCompleted& completed : m_completed) {
        m_iAutoCmpdId = std::max(m_iAutoCmpdId, completed.iCmpdAutoKey);
    }
    m_completed.clear();
}

template <class Op>
int CSyncCompletedArray::OnTable(const char* function, int line, const char* connectFormat, Op op) {
    return WithTable(m_pTable.get(), 1, kBaseDataLog, function, line, connectFormat, op);
}

int CSyncCompletedArray::ReLoad() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_iAutoCmpdId = 0;
    m_completed.clear();
    int nRet =
        OnTable("CSyncCompletedArray::ReLoad", __LINE__,
                "Error: CSyncCompletedArray::ReLoad ConnectDB failed nRet = (%d)",
                [&](CSyncCompleted& table) {
                    int rc = table.GetArr(m_completed);
                    if (!DbSucceeded(rc)) {
                        AfLog(1, kBaseDataLog, "CSyncCompletedArray::ReLoad", __LINE__,
                              "Error: CSyncCompletedArray::ReLoad GetArr failed nRet = (%d)", rc);
                    }
                    return rc;
                });
    // Also after a failed read: the keys read so far are in use.
    InitAutoCmpdID();
    return nRet;
}

int CSyncCompletedArray::Add(TComand& task) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pTable == nullptr) {
        return DB_RESULT_MISSING;
    }
    SyncCompleted completed;
    completed.iCmpdAutoKey = GetAutoCmpdID();
    completed.tComand = task;
    return OnTable("CSyncCompletedArray::Add", __LINE__,
                   "Error: CSyncCompletedArray::Add ConnectDB failed nRet = (%d)",
                   [&](CSyncCompleted& table) {
                       int rc = table.AddInfo(completed);
                       if (!DbSucceeded(rc)) {
                           AfLog(1, kBaseDataLog, "CSyncCompletedArray::Add", __LINE__,
                                 "Error: CSyncCompletedArray::Add AddInfo failed nRet = (%d)", rc);
                           LogTrace(kBaseDataLog, "CSyncCompletedArray::Add", __LINE__, completed);
                       }
                       return rc;
                   });
}

int CSyncCompletedArray::Delete(int nCmpdID) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return OnTable("CSyncCompletedArray::Delete", __LINE__,
                   "Error: CSyncCompletedArray::Delete ConnectDB failed. nRet = (%d)",
                   [&](CSyncCompleted& table) {
                       int rc = table.DelByKey(nCmpdID);
                       if (!DbSucceeded(rc)) {
                           AfLog(1, kBaseDataLog, "CSyncCompletedArray::Delete", __LINE__,
                                 "Error: CSyncCompletedArray::Delete DelByKey failed nRet = (%d), "
                                 "nCmpdID = (%d)",
                                 rc, nCmpdID);
                       }
                       return rc;
                   });
}
