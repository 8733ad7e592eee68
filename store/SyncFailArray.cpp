#include "store/SyncFailArray.h"

#include <algorithm>
#include <new>

#include "store/StoreCommon.h"

CSyncFailArray* CSyncFailArray::Get() {
    static CSyncFailArray instance;
    return &instance;
}

CSyncFailArray::CSyncFailArray()
    : m_pTable(new (std::nothrow) CSyncFail),
      m_hFailEvent(plat::CreateEvent(false, false, "HasSyncFail")) {
    if (m_pTable == nullptr) {
        AfLog(6, kBaseDataLog, "CSyncFailArray::CSyncFailArray", __LINE__, "%s",
              "Error: Create CSyncFail Failed.");
    }
}

int CSyncFailArray::GetAutoFailID() {
    return NextKey(m_iAutoFailId);
}

void CSyncFailArray::InitAutoFailID() {
    for (const SyncFail& fail : m_fails) {
        m_iAutoFailId = std::max(m_iAutoFailId, fail.iFailAutoKey);
    }
}

int CSyncFailArray::ReLoad() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fails.clear();
    if (m_pTable == nullptr) {
        return DB_RESULT_MISSING;
    }
    int nRet = ConnectTable(*m_pTable, 1, kBaseDataLog, "CSyncFailArray::ReLoad", __LINE__,
                            "Error: CSyncFailArray::ReLoad() ConnectDB Failed. nRet = (%d)");
    if (!DbSucceeded(nRet)) {
        return nRet;
    }
    std::vector<SyncFail> fails;
    nRet = m_pTable->GetFailArr(fails);
    m_pTable->Disconnect();
    if (!DbSucceeded(nRet)) {
        AfLog(1, kBaseDataLog, "CSyncFailArray::ReLoad", __LINE__,
              "Error: CSyncFailArray::ReLoad GetFailArr Failed. nRet = (%d)", nRet);
        return nRet;
    }
    m_fails = std::move(fails);
    InitAutoFailID();
    return nRet;
}

int CSyncFailArray::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fails.clear();
    return 0;
}

int CSyncFailArray::Add(int errcode, TComand& task, int& nFailID) {
    std::lock_guard<std::mutex> lock(m_mutex);
    nFailID = -1;
    if (m_pTable == nullptr) {
        return DB_RESULT_MISSING;
    }
    int nRet = ConnectTable(*m_pTable, 1, kBaseDataLog, "CSyncFailArray::Add", __LINE__,
                            "Error CSyncFailArray::Add ConnectDB DB Failed. nRet = (%d)");
    if (!DbSucceeded(nRet)) {
        return nRet;
    }
    SyncFail fail;
    fail.errcode = errcode;
    fail.tComand = task;
    fail.iReTry = 1;
    fail.iFailAutoKey = GetAutoFailID();
    nRet = m_pTable->AddFailInfo(fail);
    m_pTable->Disconnect();
    if (!DbSucceeded(nRet)) {
        AfLog(1, kBaseDataLog, "CSyncFailArray::Add", __LINE__,
              "Error: CSyncFailArray::Add AddFailInfo Failed. nRet = (%d)", nRet);
        std::string trace;
        GetTraceStringFailTask(fail, trace);
        LogTrace(kBaseDataLog, "CSyncFailArray::Add", __LINE__, trace);
        return nRet;
    }
    m_fails.push_back(fail);
    nFailID = fail.iFailAutoKey;
    SetFailEvent();
    return nRet;
}

int CSyncFailArray::Delete(int nFailID) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pTable == nullptr) {
        return DB_RESULT_MISSING;
    }
    int nRet = ConnectTable(*m_pTable, 1, kBaseDataLog, "CSyncFailArray::Delete", __LINE__,
                            "Error : CSyncFailArray::Delete ConnectDB Failed. nRet = (%d)");
    if (!DbSucceeded(nRet)) {
        return nRet;
    }
    nRet = m_pTable->DelBy(nFailID);
    m_pTable->Disconnect();
    if (!DbSucceeded(nRet)) {
        AfLog(1, kBaseDataLog, "CSyncFailArray::Delete", __LINE__,
              "Error: CSyncFailArray::Delete DelBy Failed ID = (%d) nRet = (%d)", nFailID, nRet);
        return nRet;
    }
    auto found = std::find_if(m_fails.begin(), m_fails.end(), [nFailID](const SyncFail& fail) {
        return fail.iFailAutoKey == nFailID;
    });
    if (found != m_fails.end()) {
        m_fails.erase(found);
    }
    return 0;
}

int CSyncFailArray::Modify(int nFailID, int bReTry) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pTable == nullptr) {
        return DB_RESULT_MISSING;
    }
    int nRet = ConnectTable(*m_pTable, 1, kBaseDataLog, "CSyncFailArray::Modify", __LINE__,
                            "Error: CSyncFailArray::Modify ConnectDB Failed. nRet = (%d)");
    if (!DbSucceeded(nRet)) {
        return nRet;
    }
    m_pTable->Disconnect();
    for (SyncFail& fail : m_fails) {
        if (fail.iFailAutoKey == nFailID) {
            fail.iReTry = bReTry;
        }
    }
    return nRet;
}

int CSyncFailArray::CheakSyncFail(TComand& task) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const TSyncFile& file = task.tSyncFile;
    for (const SyncFail& fail : m_fails) {
        const TComand& failed = fail.tComand;
        if (failed.iType == task.iType && failed.iOper == task.iOper &&
            failed.tSyncFile.strName == file.strName &&
            failed.tSyncFile.strServerTime == file.strServerTime &&
            failed.tSyncFile.strModifyTime == file.strModifyTime &&
            failed.tSyncFile.strRelativePath == file.strRelativePath) {
            return 1;
        }
    }
    return 0;
}

void CSyncFailArray::GetFialTask(std::vector<SyncFail>& out) {
    std::lock_guard<std::mutex> lock(m_mutex);
    out = m_fails;
}

void CSyncFailArray::SetFailEvent() {
    plat::SetEvent(m_hFailEvent);
}
