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

template <class Op>
int CSyncFailArray::OnTable(const char* function, int line, const char* connectFormat, Op op) {
    return WithTable(m_pTable.get(), 1, kBaseDataLog, function, line, connectFormat, op);
}

int CSyncFailArray::ReLoad() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fails.clear();
    std::vector<SyncFail> fails;
    int nRet = OnTable(
        "CSyncFailArray::ReLoad", __LINE__,
        "Error: CSyncFailArray::ReLoad() ConnectDB Failed. nRet = (%d)", [&](CSyncFail& table) {
            int rc = table.GetFailArr(fails);
            if (!DbSucceeded(rc)) {
                AfLog(1, kBaseDataLog, "CSyncFailArray::ReLoad", __LINE__,
                      "Error: CSyncFailArray::ReLoad GetFailArr Failed. nRet = (%d)", rc);
            }
            return rc;
        });
    if (DbSucceeded(nRet)) {
        m_fails = std::move(fails);
        InitAutoFailID();
    }
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
    SyncFail fail;
    std::vector<int> replaced;
    int nRet = OnTable(
        "CSyncFailArray::Add", __LINE__,
        "Error CSyncFailArray::Add ConnectDB DB Failed. nRet = (%d)", [&](CSyncFail& table) {
            fail.errcode = errcode;
            fail.tComand = task;
            fail.iReTry = 1;
            fail.iFailAutoKey = GetAutoFailID();
            int rc = table.AddFailInfo(fail);
            if (!DbSucceeded(rc)) {
                AfLog(1, kBaseDataLog, "CSyncFailArray::Add", __LINE__,
                      "Error: CSyncFailArray::Add AddFailInfo Failed. nRet = (%d)", rc);
                LogTrace(kBaseDataLog, "CSyncFailArray::Add", __LINE__, fail);
                return rc;
            }
            // A task that fails on every retry (each 30-second tick while the space is full)
            // keeps one entry with its latest result, not one more per attempt.
            const std::vector<int> earlier =
                KeysOf([&task](const TComand& failed) { return SameItem(failed, task); });
            DeleteRows(table, earlier, "CSyncFailArray::Add", replaced);
            return rc;
        });
    if (DbSucceeded(nRet)) {
        EraseKeys(replaced);
        m_fails.push_back(fail);
        nFailID = fail.iFailAutoKey;
        SetFailEvent();
    }
    return nRet;
}

int CSyncFailArray::Delete(int nFailID) {
    std::lock_guard<std::mutex> lock(m_mutex);
    int nRet = OnTable("CSyncFailArray::Delete", __LINE__,
                       "Error : CSyncFailArray::Delete ConnectDB Failed. nRet = (%d)",
                       [&](CSyncFail& table) {
                           int rc = table.DelBy(nFailID);
                           if (!DbSucceeded(rc)) {
                               AfLog(1, kBaseDataLog, "CSyncFailArray::Delete", __LINE__,
                                     "Error: CSyncFailArray::Delete DelBy Failed ID = (%d) nRet = "
                                     "(%d)",
                                     nFailID, rc);
                           }
                           return rc;
                       });
    if (!DbSucceeded(nRet)) {
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

int CSyncFailArray::DeleteItem(const std::wstring& relativePath) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::vector<int> keys = KeysOf([&relativePath](const TComand& failed) {
        return failed.tSyncFile.strRelativePath == relativePath;
    });
    if (keys.empty()) {
        return 0;
    }
    std::vector<int> deleted;
    int nRet = OnTable("CSyncFailArray::DeleteItem", __LINE__,
                       "Error : CSyncFailArray::DeleteItem ConnectDB Failed. nRet = (%d)",
                       [&](CSyncFail& table) {
                           return DeleteRows(table, keys, "CSyncFailArray::DeleteItem", deleted);
                       });
    EraseKeys(deleted);
    return nRet;
}

bool CSyncFailArray::SameItem(const TComand& a, const TComand& b) {
    // Renames of one item to different names are different changes, each with its failure.
    const auto newName = [](const TComand& task) -> const std::wstring& {
        return task.tSyncFile.dataExtension.dataReName.wstrNewName;
    };
    // Two service items shown under one path (names that cannot be local names are shown
    // alike) are two items; an id not known yet matches any.
    const int idA = a.tSyncFile.iId;
    const int idB = b.tSyncFile.iId;
    return a.iType == b.iType && a.iOper == b.iOper &&
           a.tSyncFile.strRelativePath == b.tSyncFile.strRelativePath &&
           (a.iOper != OPER_RENAME || newName(a) == newName(b)) &&
           (idA <= 0 || idB <= 0 || idA == idB);
}

template <class Pred>
std::vector<int> CSyncFailArray::KeysOf(Pred matches) const {
    std::vector<int> keys;
    for (const SyncFail& fail : m_fails) {
        if (matches(fail.tComand)) {
            keys.push_back(fail.iFailAutoKey);
        }
    }
    return keys;
}

int CSyncFailArray::DeleteRows(CSyncFail& table, const std::vector<int>& keys, const char* function,
                               std::vector<int>& deleted) {
    int rc = 0;
    for (int key : keys) {
        rc = table.DelBy(key);
        if (DbSucceeded(rc)) {
            deleted.push_back(key);
        } else {
            AfLog(1, kBaseDataLog, function, __LINE__,
                  "Error: %s DelBy Failed ID = (%d) nRet = (%d)", function, key, rc);
        }
    }
    return rc;
}

void CSyncFailArray::EraseKeys(const std::vector<int>& keys) {
    std::erase_if(m_fails, [&keys](const SyncFail& fail) {
        return std::find(keys.begin(), keys.end(), fail.iFailAutoKey) != keys.end();
    });
}

int CSyncFailArray::Modify(int nFailID, int bReTry) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // The table has no update for the marker: the connect only tells that the store is there.
    int nRet = OnTable("CSyncFailArray::Modify", __LINE__,
                       "Error: CSyncFailArray::Modify ConnectDB Failed. nRet = (%d)",
                       [](CSyncFail&) { return 0; });
    if (DbSucceeded(nRet)) {
        for (SyncFail& fail : m_fails) {
            if (fail.iFailAutoKey == nFailID) {
                fail.iReTry = bReTry;
            }
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
