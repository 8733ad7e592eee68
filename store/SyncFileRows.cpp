#include "store/SyncFileRows.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace {

std::size_t TextHash(const std::wstring& text) {
    return std::hash<std::wstring>{}(text);
}

template <class Key, class Bucket, class Row>
void AddTo(std::unordered_map<Key, Bucket>& index, const Key& key, Row row) {
    Bucket& bucket = index[key];
    auto byRow = [](const Row& a, const Row& b) { return a->first < b->first; };
    // Appended rows come last; only an overwritten row goes back into the middle.
    bucket.insert(std::upper_bound(bucket.begin(), bucket.end(), row, byRow), row);
}

template <class Key, class Bucket, class Row>
void RemoveFrom(std::unordered_map<Key, Bucket>& index, const Key& key, Row row) {
    auto found = index.find(key);
    if (found == index.end()) {
        return;
    }
    Bucket& bucket = found->second;
    bucket.erase(std::remove(bucket.begin(), bucket.end(), row), bucket.end());
    if (bucket.empty()) {
        index.erase(found);
    }
}

}  // namespace

void CSyncFileRows::Clear() {
    m_byId.clear();
    m_byPath.clear();
    m_byName.clear();
    m_rows.clear();
}

void CSyncFileRows::Append(TSyncFile file) {
    Row row = m_rows.emplace_hint(m_rows.end(), m_uNextRow++, std::move(file));
    Index(row);
}

void CSyncFileRows::Index(Row row) {
    AddTo(m_byId, row->second.iId, row);
    AddTo(m_byPath, TextHash(row->second.strRelativePath), row);
    AddTo(m_byName, TextHash(row->second.strName), row);
}

void CSyncFileRows::Unindex(Row row) {
    RemoveFrom(m_byId, row->second.iId, row);
    RemoveFrom(m_byPath, TextHash(row->second.strRelativePath), row);
    RemoveFrom(m_byName, TextHash(row->second.strName), row);
}

const TSyncFile* CSyncFileRows::FirstById(int id) const {
    auto found = m_byId.find(id);
    return found == m_byId.end() ? nullptr : &found->second.front()->second;
}

const TSyncFile* CSyncFileRows::FirstByPath(const std::wstring& path) const {
    std::vector<const TSyncFile*> rows = AllByPath(path);
    return rows.empty() ? nullptr : rows.front();
}

std::vector<const TSyncFile*> CSyncFileRows::AllByPath(const std::wstring& path) const {
    return Matching(m_byPath, path, &TSyncFile::strRelativePath);
}

std::vector<const TSyncFile*> CSyncFileRows::AllByName(const std::wstring& name) const {
    return Matching(m_byName, name, &TSyncFile::strName);
}

std::vector<const TSyncFile*> CSyncFileRows::Matching(const TextIndex& index,
                                                      const std::wstring& text,
                                                      std::wstring TSyncFile::*field) {
    std::vector<const TSyncFile*> rows;
    auto found = index.find(TextHash(text));
    if (found != index.end()) {
        for (const Row& row : found->second) {
            if (row->second.*field == text) {
                rows.push_back(&row->second);
            }
        }
    }
    return rows;
}

bool CSyncFileRows::OverwriteFirstById(int id, const TSyncFile& file) {
    auto found = m_byId.find(id);
    if (found == m_byId.end()) {
        return false;
    }
    Row row = found->second.front();
    Unindex(row);
    row->second = file;
    Index(row);
    return true;
}

bool CSyncFileRows::EraseFirstById(int id) {
    auto found = m_byId.find(id);
    if (found == m_byId.end()) {
        return false;
    }
    Row row = found->second.front();
    Unindex(row);
    m_rows.erase(row);
    return true;
}

std::vector<TSyncFile> CSyncFileRows::All() const {
    std::vector<TSyncFile> rows;
    rows.reserve(m_rows.size());
    for (const auto& [number, file] : m_rows) {
        rows.push_back(file);
    }
    return rows;
}
