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

std::vector<CSyncTemporary::TEntry>* CSyncTemporary::List(E_Oper eOper) {
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

void CSyncTemporary::DropExpired() {
    const plat::Clock::TimePoint now = plat::Clock::Now();
    for (std::vector<TEntry>* list : {&m_added, &m_deleted, &m_renamed}) {
        std::erase_if(*list, [now](const TEntry& entry) {
            return entry.expires.has_value() && *entry.expires <= now;
        });
    }
}

void CSyncTemporary::Push(TEntry entry, E_Oper eOper) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (eOper == OPER_MODIFY) {
        m_deleted.push_back(entry);
        m_added.push_back(std::move(entry));
    } else if (std::vector<TEntry>* list = List(eOper)) {
        list->push_back(std::move(entry));
    }
}

void CSyncTemporary::Add(TSyncFile file, E_Oper eOper) {
    Push({std::move(file), std::nullopt}, eOper);
}

void CSyncTemporary::AddOwnChange(TSyncFile file, E_Oper eOper) {
    Push({std::move(file), plat::Clock::Now() + kEchoLifetime, true}, eOper);
}

int CSyncTemporary::CheckServerSyncFile(TSyncFile& file, E_Oper eOper) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<TEntry>* list = List(eOper);
    if (list == nullptr) {
        return 0;
    }
    DropExpired();
    auto found = std::find_if(list->begin(), list->end(),
                              [&file](const TEntry& entry) { return Matches(entry.file, file); });
    if (found == list->end()) {
        return 0;
    }
    list->erase(found);
    return 1;
}

void CSyncTemporary::Delete(TSyncFile file, E_Oper eOper) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (std::vector<TEntry>* list = List(eOper)) {
        std::erase_if(*list, [&file](const TEntry& entry) { return Matches(entry.file, file); });
    }
}

void CSyncTemporary::Complete(const TSyncFile& file) {
    std::lock_guard<std::mutex> lock(m_mutex);
    DropExpired();
    const plat::Clock::TimePoint expires = plat::Clock::Now() + kEchoLifetime;
    for (std::vector<TEntry>* list : {&m_added, &m_deleted, &m_renamed}) {
        for (TEntry& entry : *list) {
            if (Matches(entry.file, file)) {
                entry.expires = expires;
            }
        }
    }
}

void CSyncTemporary::CompleteAll() {
    std::lock_guard<std::mutex> lock(m_mutex);
    DropExpired();
    const plat::Clock::TimePoint expires = plat::Clock::Now() + kEchoLifetime;
    for (std::vector<TEntry>* list : {&m_added, &m_deleted, &m_renamed}) {
        for (TEntry& entry : *list) {
            if (!entry.expires.has_value()) {
                entry.expires = expires;
            }
        }
    }
}

void CSyncTemporary::Observed(const std::wstring& relativePath) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (std::vector<TEntry>* list : {&m_added, &m_deleted, &m_renamed}) {
        for (TEntry& entry : *list) {
            if (entry.file.strRelativePath == relativePath) {
                entry.expires.reset();
            }
        }
    }
}

int CSyncTemporary::IsServerSync() {
    std::lock_guard<std::mutex> lock(m_mutex);
    DropExpired();
    return m_added.empty() && m_deleted.empty() ? 0 : 1;
}

void CSyncTemporary::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_added.clear();
    m_deleted.clear();
    m_renamed.clear();
}

void CSyncTemporary::ClearPlanned() {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (std::vector<TEntry>* list : {&m_added, &m_deleted, &m_renamed}) {
        std::erase_if(*list, [](const TEntry& entry) { return !entry.bOwnChange; });
    }
}
