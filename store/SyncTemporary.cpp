#include "store/SyncTemporary.h"

#include <algorithm>

namespace {

bool Matches(const TSyncFile& entry, const TSyncFile& file) {
    return (file.iId != 0 && entry.iId == file.iId) ||
           (!file.strRelativePath.empty() && entry.strRelativePath == file.strRelativePath);
}

}  // namespace

CSyncTemporary* CSyncTemporary::Get() {
    static CSyncTemporary instance;
    return &instance;
}

std::vector<TSyncFile>* CSyncTemporary::List(E_Oper eOper) {
    switch (eOper) {
        case OPER_ADD:
            return &m_added;
        case OPER_DELETE:
            return &m_deleted;
        case OPER_RENAME:
            return &m_renamed;
        default:
            return nullptr;
    }
}

void CSyncTemporary::Add(TSyncFile file, E_Oper eOper) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (eOper == OPER_MODIFY) {
        m_deleted.push_back(file);
        m_added.push_back(file);
    } else if (std::vector<TSyncFile>* list = List(eOper)) {
        list->push_back(file);
    }
}

int CSyncTemporary::CheckServerSyncFile(TSyncFile& file, E_Oper eOper) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<TSyncFile>* list = List(eOper);
    if (list == nullptr) {
        return 0;
    }
    auto found = std::find_if(list->begin(), list->end(),
                              [&file](const TSyncFile& entry) { return Matches(entry, file); });
    if (found == list->end()) {
        return 0;
    }
    list->erase(found);
    return 1;
}

void CSyncTemporary::Delete(TSyncFile file, E_Oper eOper) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (std::vector<TSyncFile>* list = List(eOper)) {
        list->erase(
            std::remove_if(list->begin(), list->end(),
                           [&file](const TSyncFile& entry) { return Matches(entry, file); }),
            list->end());
    }
}

int CSyncTemporary::IsServerSync() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_added.empty() && m_deleted.empty() ? 0 : 1;
}

void CSyncTemporary::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_added.clear();
    m_deleted.clear();
}
