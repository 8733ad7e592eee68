#include "service/FileTree.h"

#include <set>
#include <utility>

#include "service/EntryName.h"
#include "service/ServiceCodes.h"

std::vector<TEntry> CFileTree::All(std::int64_t account) {
    auto lock = m_store.Lock();
    return m_store.Entries(lock, account);
}

std::int64_t CFileTree::FileCount(std::int64_t account) {
    auto lock = m_store.Lock();
    return m_store.FileCount(lock, account);
}

CFileTree::TListing CFileTree::Children(std::int64_t account, std::int64_t pid) {
    auto lock = m_store.Lock();
    TListing listing;
    listing.iCode = CheckParentLocked(lock, account, pid);
    if (listing.iCode == SVC_OK) {
        listing.entries = m_store.Children(lock, account, pid);
    }
    return listing;
}

CFileTree::TLookup CFileTree::Find(std::int64_t account, std::int64_t id) {
    auto lock = m_store.Lock();
    auto entry = m_store.FindEntry(lock, account, id);
    if (!entry) {
        return {SVC_NOT_FOUND, {}};
    }
    return {SVC_OK, *entry};
}

CFileTree::TLookup CFileTree::Resolve(std::int64_t account, const std::string& path) {
    TEntry current;
    current.bDir = true;
    auto lock = m_store.Lock();
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t slash = path.find('/', start);
        std::string name = path.substr(start, slash - start);
        if (!current.bDir) {
            return {SVC_NOT_A_FOLDER, {}};
        }
        auto child = m_store.FindChild(lock, account, current.iId, name);
        if (!child) {
            return {SVC_NOT_FOUND, {}};
        }
        current = *child;
        start = slash == std::string::npos ? path.size() : slash + 1;
    }
    return {SVC_OK, current};
}

TOutcome CFileTree::MakeFolder(std::int64_t account, std::int64_t pid, const std::string& name) {
    if (!IsValidEntryName(name)) {
        return {SVC_BAD_NAME, 0};
    }
    auto lock = m_store.Lock();
    if (int code = CheckParentLocked(lock, account, pid); code != SVC_OK) {
        return {code, 0};
    }
    if (auto existing = m_store.FindChild(lock, account, pid, name)) {
        return existing->bDir ? TOutcome{SVC_OK, existing->iId} : TOutcome{SVC_NAME_EXISTS, 0};
    }
    TEntry folder;
    folder.iAccount = account;
    folder.iPId = pid;
    folder.strName = name;
    folder.bDir = true;
    folder.iCreated = folder.iModified = m_store.NextStamp(lock);
    return {SVC_OK, m_store.InsertEntry(lock, folder)};
}

int CFileTree::Remove(std::int64_t account, const std::vector<std::int64_t>& ids,
                      std::vector<TEntry>* removed) {
    auto lock = m_store.Lock();
    std::vector<TEntry> doomed;
    std::set<std::int64_t> seen;
    for (std::int64_t id : ids) {
        if (!m_store.FindEntry(lock, account, id)) {
            return SVC_NOT_FOUND;
        }
        for (TEntry& entry : m_store.Subtree(lock, account, id)) {
            if (seen.insert(entry.iId).second) {
                doomed.push_back(std::move(entry));
            }
        }
    }
    CMetaStore::CTransaction transaction(m_store, lock);
    for (const TEntry& entry : doomed) {
        m_store.DeleteEntry(lock, entry.iId);
    }
    transaction.Commit();
    for (const TEntry& entry : doomed) {
        if (!entry.bDir) {
            ReleaseContentLocked(lock, account, entry.strMD5, entry.iSize);
        }
    }
    if (removed != nullptr) {
        *removed = std::move(doomed);
    }
    return SVC_OK;
}

int CFileTree::Rename(std::int64_t account, std::int64_t id, const std::string& name) {
    if (!IsValidEntryName(name)) {
        return SVC_BAD_NAME;
    }
    auto lock = m_store.Lock();
    auto entry = m_store.FindEntry(lock, account, id);
    return entry ? MoveLocked(lock, *entry, entry->iPId, name) : SVC_NOT_FOUND;
}

int CFileTree::Move(std::int64_t account, std::int64_t id, std::int64_t pid,
                    const std::string& name) {
    if (!IsValidEntryName(name)) {
        return SVC_BAD_NAME;
    }
    auto lock = m_store.Lock();
    auto entry = m_store.FindEntry(lock, account, id);
    if (!entry) {
        return SVC_NOT_FOUND;
    }
    if (int code = CheckParentLocked(lock, account, pid); code != SVC_OK) {
        return code;
    }
    return MoveLocked(lock, *entry, pid, name);
}

TOutcome CFileTree::Write(std::int64_t account, std::int64_t pid, const std::string& name,
                          const std::filesystem::path& file, std::int64_t size,
                          const std::string& md5) {
    if (!IsValidEntryName(name)) {
        return {SVC_BAD_NAME, 0};
    }
    auto lock = m_store.Lock();
    if (int code = CheckParentLocked(lock, account, pid); code != SVC_OK) {
        return {code, 0};
    }
    auto existing = m_store.FindChild(lock, account, pid, name);
    if (existing && existing->bDir) {
        return {SVC_NAME_EXISTS, 0};
    }
    m_content.Adopt(file, account, md5, size);
    if (!existing) {
        return {SVC_OK, AddFileLocked(lock, account, pid, name, size, md5)};
    }
    TEntry old = *existing;
    existing->iSize = size;
    existing->strMD5 = md5;
    existing->iModified = m_store.NextStamp(lock);
    m_store.UpdateEntry(lock, *existing);
    ReleaseContentLocked(lock, account, old.strMD5, old.iSize);
    return {SVC_OK, existing->iId};
}

int CFileTree::CheckParentLocked(const CMetaStore::CLock& lock, std::int64_t account,
                                 std::int64_t pid) {
    if (pid == 0) {
        return SVC_OK;
    }
    auto parent = m_store.FindEntry(lock, account, pid);
    if (!parent) {
        return SVC_NOT_FOUND;
    }
    return parent->bDir ? SVC_OK : SVC_NOT_A_FOLDER;
}

std::int64_t CFileTree::AddFileLocked(const CMetaStore::CLock& lock, std::int64_t account,
                                      std::int64_t pid, const std::string& name, std::int64_t size,
                                      const std::string& md5) {
    TEntry file;
    file.iAccount = account;
    file.iPId = pid;
    file.strName = name;
    file.iSize = size;
    file.strMD5 = md5;
    file.iCreated = file.iModified = m_store.NextStamp(lock);
    return m_store.InsertEntry(lock, file);
}

void CFileTree::ReleaseContentLocked(const CMetaStore::CLock& lock, std::int64_t account,
                                     const std::string& md5, std::int64_t size) {
    if (!m_store.FindByContent(lock, account, md5, size)) {
        m_content.RemoveObject(account, md5, size);
    }
}

int CFileTree::MoveLocked(const CMetaStore::CLock& lock, TEntry entry, std::int64_t pid,
                          const std::string& name) {
    if (entry.iPId == pid && entry.strName == name) {
        return SVC_OK;
    }
    // A folder cannot go below itself.
    if (pid != entry.iPId) {
        for (const TEntry& below : m_store.Subtree(lock, entry.iAccount, entry.iId)) {
            if (below.iId == pid) {
                return SVC_NOT_A_FOLDER;
            }
        }
    }
    auto other = m_store.FindChild(lock, entry.iAccount, pid, name);
    if (other && other->iId != entry.iId) {
        return SVC_NAME_EXISTS;
    }
    entry.iPId = pid;
    entry.strName = name;
    entry.iModified = m_store.NextStamp(lock);
    m_store.UpdateEntry(lock, entry);
    return SVC_OK;
}

std::unordered_map<std::int64_t, std::string> EntryPaths(const std::vector<TEntry>& entries) {
    std::unordered_map<std::int64_t, const TEntry*> byId;
    for (const TEntry& entry : entries) {
        byId.emplace(entry.iId, &entry);
    }
    std::unordered_map<std::int64_t, std::string> paths;
    for (const TEntry& entry : entries) {
        std::string path = entry.strName;
        std::int64_t parent = entry.iPId;
        // The walk stops after as many steps as there are entries, so a cycle cannot hang it.
        std::size_t steps = 0;
        while (parent != 0 && steps++ <= entries.size()) {
            auto it = byId.find(parent);
            if (it == byId.end()) {
                break;
            }
            path = it->second->strName + "/" + path;
            parent = it->second->iPId;
        }
        if (parent == 0) {
            paths.emplace(entry.iId, std::move(path));
        }
    }
    return paths;
}
