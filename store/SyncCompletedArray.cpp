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

int CSyncCompletedArray::ReLoad() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_iAutoCmpdId = 0;
    m_completed.clear();
    if (m_pTable == nullptr) {
        return DB_RESULT_MISSING;
    }
    int nRet = ConnectTable(*m_pTable, 1, kBaseDataLog, "CSyncCompletedArray::ReLoad", __LINE__,
                            "Error: CSyncCompletedArray::ReLoad ConnectDB failed nRet = (%d)");
    if (!DbSucceeded(nRet)) {
        return nRet;
    }
    nRet = m_pTable->GetArr(m_completed);
    m_pTable->Disconnect();
    if (!DbSucceeded(nRet)) {
        AfLog(1, kBaseDataLog, "CSyncCompletedArray::ReLoad", __LINE__,
              "Error: CSyncCompletedArray::ReLoad GetArr failed nRet = (%d)", nRet);
    }
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
    int nRet = ConnectTable(*m_pTable, 1, kBaseDataLog, "CSyncCompletedArray::Add", __LINE__,
                            "Error: CSyncCompletedArray::Add ConnectDB failed nRet = (%d)");
    if (!DbSucceeded(nRet)) {
        return nRet;
    }
    nRet = m_pTable->AddInfo(completed);
    m_pTable->Disconnect();
    if (!DbSucceeded(nRet)) {
        AfLog(1, kBaseDataLog, "CSyncCompletedArray::Add", __LINE__,
              "Error: CSyncCompletedArray::Add AddInfo failed nRet = (%d)", nRet);
        std::string trace;
        GetTraceStringCmpldTask(completed, trace);
        LogTrace(kBaseDataLog, "CSyncCompletedArray::Add", __LINE__, trace);
    }
    return nRet;
}

int CSyncCompletedArray::Delete(int nCmpdID) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pTable == nullptr) {
        return DB_RESULT_MISSING;
    }
    int nRet = ConnectTable(*m_pTable, 1, kBaseDataLog, "CSyncCompletedArray::Delete", __LINE__,
                            "Error: CSyncCompletedArray::Delete ConnectDB failed. nRet = (%d)");
    if (!DbSucceeded(nRet)) {
        return nRet;
    }
    nRet = m_pTable->DelByKey(nCmpdID);
    m_pTable->Disconnect();
    if (!DbSucceeded(nRet)) {
        AfLog(1, kBaseDataLog, "CSyncCompletedArray::Delete", __LINE__,
              "Error: CSyncCompletedArray::Delete DelByKey failed nRet = (%d), nCmpdID = (%d)",
              nRet, nCmpdID);
    }
    return nRet;
}
