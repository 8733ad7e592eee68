#include "store/SyncingTaskArray.h"

#include <algorithm>
#include <string>

#include "store/StoreCommon.h"

namespace {

bool HasBreakPoint(const TComand& task) {
    return !task.tSyncFile.dataExtension.dataBreakPoint.strTempName.empty();
}

// A queue copy of the task: TComand's assignment, so the statement text stays behind.
TComand QueueCopy(const TComand& task) {
    TComand copy;
    copy = task;
    return copy;
}

const char* const kPushConnectFailed =
    "Error: CSyncingTaskArray::push_back ConnectDB failed nRet = (%d)";

}  // namespace

CSyncingTaskArray* CSyncingTaskArray::Get() {
    static CSyncingTaskArray instance;
    return &instance;
}

CSyncingTaskArray::CSyncingTaskArray() : m_hWork(plat::CreateSemaphore(0, 1)) {}

int CSyncingTaskArray::GetAutoTaskID() {
    NextKey(m_iAutoTaskId);
    if (m_iAutoTaskId == m_iReservedId) {
        NextKey(m_iAutoTaskId);
    }
    return m_iAutoTaskId;
}

void CSyncingTaskArray::SetTaskID(std::vector<TComand>& tasks) {
    for (TComand& task : tasks) {
        task.iIdKey = GetAutoTaskID();
    }
}

template <class Op>
int CSyncingTaskArray::OnTable(const char* function, int line, const char* connectFormat, Op op) {
    return WithTable(&m_table, 1, kTaskingLog, function, line, connectFormat, op);
}

int CSyncingTaskArray::ReLoad() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_tasks.clear();
    // A new run: keys start again, and a kept task takes the first one.
    m_iAutoTaskId = 0;
    std::vector<TComand> stored;
    bool read = false;
    int nRet = OnTable("CSyncingTaskArray::ReLoad", __LINE__,
                       "Error: CSyncingTaskArray::ReLoad ConnectDB failed nRet = (%d)",
                       [&](CSyncingTask& table) {
                           int rc = table.GetAllSyncingTask(stored);
                           if (!DbSucceeded(rc)) {
                               stored.clear();
                               rc = table.GetAllSyncingTask(stored);
                           }
                           if (!DbSucceeded(rc)) {
                               AfLog(1, kTaskingLog, "CSyncingTaskArray::ReLoad", __LINE__,
                                     "Error: CSyncingTaskArray::ReLoad GetAllSyncingTask failed "
                                     "nRet = (%d)",
                                     rc);
                               return rc;
                           }
                           read = true;
                           return table.DropTable("SyncingTask");
                       });
    auto kept = std::find_if(stored.begin(), stored.end(), HasBreakPoint);
    if (read && kept != stored.end()) {
        TComand task = QueueCopy(*kept);
        task.iIdKey = GetAutoTaskID();
        nRet =
            Restore(task, "CSyncingTaskArray::ReLoad", __LINE__,
                    "Error: CSyncingTaskArray::ReLoad AddTaskInfo failed. breakPoint nRet = (%d)");
    }
    return nRet;
}

int CSyncingTaskArray::Restore(const TComand& kept, const char* function, int line,
                               const char* format) {
    int nRet = OnTable(function, line, format, [&](CSyncingTask& table) {
        int rc = table.AddTaskInfo(kept);
        if (!DbSucceeded(rc)) {
            AfLog(1, kTaskingLog, function, line, format, rc);
        }
        return rc;
    });
    m_tasks.push_back(kept);
    return nRet;
}

int CSyncingTaskArray::StoreTask(CSyncingTask& table, const TComand& task) {
    int rc = table.AddTaskInfo(task);
    if (!DbSucceeded(rc)) {
        AfLog(1, kTaskingLog, "CSyncingTaskArray::push_back", __LINE__,
              "Error: CSyncingTaskArray::push_back AddTaskInfo failed nRet = (%d)", rc);
        LogTrace(kTaskingLog, "CSyncingTaskArray::push_back", __LINE__, task);
    }
    return rc;
}

int CSyncingTaskArray::push_back(TComand task) {
    std::lock_guard<std::mutex> lock(m_lock);
    TComand queued = QueueCopy(task);
    queued.iIdKey = GetAutoTaskID();
    m_tasks.push_back(queued);
    return OnTable("CSyncingTaskArray::push_back", __LINE__, kPushConnectFailed,
                   [&](CSyncingTask& table) { return StoreTask(table, queued); });
}

int CSyncingTaskArray::push_back(const_iterator first, const_iterator last) {
    std::lock_guard<std::mutex> lock(m_lock);
    return OnTable("CSyncingTaskArray::push_back", __LINE__, kPushConnectFailed,
                   [&](CSyncingTask& table) {
                       int rc = 0;
                       for (auto it = first; it != last; ++it) {
                           TComand queued = QueueCopy(*it);
                           queued.iIdKey = GetAutoTaskID();
                           m_tasks.push_back(queued);
                           rc = StoreTask(table, queued);
                       }
                       return rc;
                   });
}

int CSyncingTaskArray::push_back(std::vector<TComand>& tasks) {
    std::lock_guard<std::mutex> lock(m_lock);
    SetTaskID(tasks);
    std::vector<TComand> queued;
    for (const TComand& task : tasks) {
        queued.push_back(QueueCopy(task));
    }
    int nRet = OnTable("CSyncingTaskArray::push_back", __LINE__, kPushConnectFailed,
                       [&](CSyncingTask& table) {
                           int rc = table.AddTaskArrayInfo(queued);
                           if (!DbSucceeded(rc)) {
                               AfLog(1, kTaskingLog, "CSyncingTaskArray::push_back", __LINE__,
                                     "Error: CSyncingTaskArray::push_back AddTaskInfo failed nRet "
                                     "= (%d)",
                                     rc);
                           }
                           return rc;
                       });
    m_tasks.insert(m_tasks.end(), queued.begin(), queued.end());
    return nRet;
}

int CSyncingTaskArray::pop_front() {
    return PopFront(nullptr);
}

int CSyncingTaskArray::pop_front(TComand& out) {
    return PopFront(&out);
}

int CSyncingTaskArray::PopFront(TComand* out) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_tasks.empty()) {
        if (out == nullptr) {
            AfLog(6, kTaskingLog, "CSyncingTaskArray::pop_front", __LINE__, "%s",
                  "Error: CSyncingTaskArray::pop_front,  SyncingTaskArray Empty");
        }
        return 0;
    }
    if (out != nullptr) {
        *out = m_tasks.front();
    }
    return EraseTask(m_tasks.begin(), "CSyncingTaskArray::pop_front");
}

int CSyncingTaskArray::RemoveTask(int nIdKey) {
    std::lock_guard<std::mutex> lock(m_lock);
    auto task = FindTask(nIdKey);
    if (task == m_tasks.end()) {
        AfLog(0, kTaskingLog, "CSyncingTaskArray::RemoveTask", __LINE__,
              "Task %d is no longer queued", nIdKey);
        return DB_RESULT_MISSING;
    }
    return EraseTask(task, "CSyncingTaskArray::RemoveTask");
}

int CSyncingTaskArray::EraseTask(std::deque<TComand>::iterator task, const char* function) {
    const int idKey = task->iIdKey;
    const std::string connectFailed =
        std::string("Error: ") + function + " ConnectDB failed nRet = (%d)";
    bool connected = false;
    int nRet = OnTable(function, __LINE__, connectFailed.c_str(), [&](CSyncingTask& table) {
        connected = true;
        int rc = table.DelByIdKey(idKey);
        if (!DbSucceeded(rc)) {
            AfLog(1, kTaskingLog, function, __LINE__,
                  "Error: %s DelByIdKey failed nRet = (%d) ID = (%d)", function, rc, idKey);
        }
        return rc;
    });
    // A task whose row could not be deleted is done all the same; one that could not even be
    // reached in the store stays for the next try.
    if (connected) {
        m_tasks.erase(task);
    }
    return nRet;
}

int CSyncingTaskArray::GetTask(TComand& out) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_tasks.empty()) {
        return 0;
    }
    out = m_tasks.front();
    return 1;
}

int CSyncingTaskArray::Modify(TComand& cmd) {
    std::lock_guard<std::mutex> lock(m_lock);
    auto queued = FindTask(cmd.iIdKey);
    if (queued == m_tasks.end()) {
        return DB_RESULT_MISSING;
    }
    int nRet = m_table.ConnectDB();
    if (!DbSucceeded(nRet)) {
        m_table.Disconnect();
        return nRet;
    }
    nRet = m_table.UpdateByIdKey(cmd.iIdKey, QueueCopy(cmd));
    m_table.Disconnect();
    *queued = cmd;
    return nRet;
}

std::deque<TComand>::iterator CSyncingTaskArray::FindTask(int nIdKey) {
    return std::find_if(m_tasks.begin(), m_tasks.end(),
                        [nIdKey](const TComand& task) { return task.iIdKey == nIdKey; });
}

int CSyncingTaskArray::AdjustTaskPriority(int nIdKey) {
    std::lock_guard<std::mutex> lock(m_lock);
    auto position = FindTask(nIdKey);
    if (position == m_tasks.end()) {
        return static_cast<int>(m_tasks.size());
    }
    if (position == m_tasks.begin()) {
        return 0;
    }
    if (position == m_tasks.begin() + 1) {
        return m_tasks.size() > 2 ? m_tasks[2].iIdKey : 0;
    }
    std::rotate(m_tasks.begin() + 1, position, position + 1);
    return nIdKey;
}

bool CSyncingTaskArray::MoveBehindFolderCreation(int nIdKey, const std::wstring& folderPath,
                                                 const std::wstring& folderAbsolute) {
    std::lock_guard<std::mutex> lock(m_lock);
    auto position = FindTask(nIdKey);
    if (position == m_tasks.end()) {
        return false;
    }
    auto creation = std::find_if(position + 1, m_tasks.end(), [&](const TComand& task) {
        const TSyncFile& folder = task.tSyncFile;
        if (folder.iType != 0) {
            return false;
        }
        return task.iType == 1 ? task.iOper == OPER_ADD && folder.strRelativePath == folderPath
                               : task.iType == 0 && task.iOper == OPER_RENAME &&
                                     folder.dataExtension.dataReName.wstrNewName == folderAbsolute;
    });
    if (creation == m_tasks.end()) {
        return false;
    }
    std::rotate(position, position + 1, creation + 1);
    return true;
}

int CSyncingTaskArray::HasTask() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_tasks.empty() ? 0 : 1;
}

int CSyncingTaskArray::Clear() {
    std::lock_guard<std::mutex> lock(m_lock);
    const bool keep = !m_tasks.empty() && HasBreakPoint(m_tasks.front());
    const TComand kept = keep ? QueueCopy(m_tasks.front()) : TComand();
    bool connected = false;
    int nRet = OnTable("CSyncingTaskArray::Clear", __LINE__,
                       "Error: CSyncingTaskArray::Clear ConnectDB failed nRet = (%d)",
                       [&](CSyncingTask& table) {
                           connected = true;
                           return table.DropTable("SyncingTask");
                       });
    if (!connected) {
        return nRet;
    }
    m_uDropped.fetch_add(static_cast<unsigned>(m_tasks.size() - (keep ? 1 : 0)));
    m_tasks.clear();
    if (keep) {
        nRet = Restore(kept, "CSyncingTaskArray::Clear", __LINE__,
                       "Error: CSyncingTaskArray::Clear ConnectDB failed nRet = (%d)");
    }
    return nRet;
}

unsigned long CSyncingTaskArray::Wait(int milliseconds) {
    return plat::WaitForSingleObject(m_hWork, static_cast<plat::DWORD>(milliseconds));
}

void CSyncingTaskArray::Release(int count) {
    if (count > 0) {
        // Fails when the signal is set already: that wake-up is still to come.
        plat::ReleaseSemaphore(m_hWork, 1);
    }
}
