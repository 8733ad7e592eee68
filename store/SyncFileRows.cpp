#include "store/SyncFileRows.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace {

// Gaps are closed only past this many, so that small tables never pay for it.
constexpr std::size_t kMinimumGapsToClose = 1024;

std::uint32_t IdKey(int id) {
    return static_cast<std::uint32_t>(id);
}

// Rows are compared on use, so a shared key only costs a comparison.
std::uint32_t TextKey(const std::wstring& text) {
    const std::uint64_t hash = std::hash<std::wstring>{}(text);
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

}  // namespace

void CSyncFileRows::Clear() {
    m_rows.clear();
    m_gap.clear();
    m_uGaps = 0;
    m_byId.Clear();
    m_byPath.Clear();
    m_byName.Clear();
}

void CSyncFileRows::Assign(std::vector<TSyncFile> rows) {
    m_rows = std::move(rows);
    m_gap.assign(m_rows.size(), false);
    m_uGaps = 0;
    RebuildIndexes();
}

void CSyncFileRows::RebuildIndexes() {
    m_byId.Clear();
    m_byPath.Clear();
    m_byName.Clear();
    m_byId.Reserve(m_rows.size());
    m_byPath.Reserve(m_rows.size());
    m_byName.Reserve(m_rows.size());
    for (std::uint32_t row = 0; row < m_rows.size(); ++row) {
        if (!m_gap[row]) {
            Index(row);
        }
    }
}

void CSyncFileRows::Put(TSyncFile file) {
    EraseTaken(file.iId, file.strRelativePath, kNone);
    Append(std::move(file));
    CloseGaps();
}

void CSyncFileRows::EraseTaken(int id, const std::wstring& path, std::uint32_t keep) {
    std::vector<std::uint32_t> taken;
    m_byId.ForEach(IdKey(id), [&](std::uint32_t row) { taken.push_back(row); });
    m_byPath.ForEach(TextKey(path), [&](std::uint32_t row) {
        if (m_rows[row].strRelativePath == path) {
            taken.push_back(row);
        }
    });
    std::sort(taken.begin(), taken.end());
    taken.erase(std::unique(taken.begin(), taken.end()), taken.end());
    for (std::uint32_t row : taken) {
        if (row != keep) {
            EraseRow(row);
        }
    }
}

void CSyncFileRows::EraseRow(std::uint32_t row) {
    Unindex(row);
    m_rows[row] = TSyncFile();
    m_gap[row] = true;
    ++m_uGaps;
}

void CSyncFileRows::Append(TSyncFile file) {
    m_rows.push_back(std::move(file));
    m_gap.push_back(false);
    Index(static_cast<std::uint32_t>(m_rows.size() - 1));
}

void CSyncFileRows::Index(std::uint32_t row) {
    const TSyncFile& file = m_rows[row];
    m_byId.Insert(IdKey(file.iId), row);
    m_byPath.Insert(TextKey(file.strRelativePath), row);
    m_byName.Insert(TextKey(file.strName), row);
}

void CSyncFileRows::Unindex(std::uint32_t row) {
    const TSyncFile& file = m_rows[row];
    m_byId.Erase(IdKey(file.iId), row);
    m_byPath.Erase(TextKey(file.strRelativePath), row);
    m_byName.Erase(TextKey(file.strName), row);
}

std::uint32_t CSyncFileRows::FirstRowById(int id) const {
    std::uint32_t first = kNone;
    m_byId.ForEach(IdKey(id), [&](std::uint32_t row) { first = std::min(first, row); });
    return first;
}

const TSyncFile* CSyncFileRows::FirstById(int id) const {
    std::uint32_t row = FirstRowById(id);
    return row == kNone ? nullptr : &m_rows[row];
}

const TSyncFile* CSyncFileRows::FirstByPath(const std::wstring& path) const {
    std::uint32_t first = kNone;
    m_byPath.ForEach(TextKey(path), [&](std::uint32_t row) {
        if (row < first && m_rows[row].strRelativePath == path) {
            first = row;
        }
    });
    return first == kNone ? nullptr : &m_rows[first];
}

std::vector<const TSyncFile*> CSyncFileRows::AllByPath(const std::wstring& path) const {
    return Matching(m_byPath, path, &TSyncFile::strRelativePath);
}

std::vector<const TSyncFile*> CSyncFileRows::AllByName(const std::wstring& name) const {
    return Matching(m_byName, name, &TSyncFile::strName);
}

std::vector<const TSyncFile*> CSyncFileRows::Matching(const CRowIndex& index,
                                                      const std::wstring& text,
                                                      std::wstring TSyncFile::*field) const {
    std::vector<std::uint32_t> rows;
    index.ForEach(TextKey(text), [&](std::uint32_t row) {
        if (m_rows[row].*field == text) {
            rows.push_back(row);
        }
    });
    std::sort(rows.begin(), rows.end());
    std::vector<const TSyncFile*> files;
    for (std::uint32_t row : rows) {
        files.push_back(&m_rows[row]);
    }
    return files;
}

bool CSyncFileRows::Replace(int id, const TSyncFile& file) {
    const std::uint32_t row = FirstRowById(id);
    EraseTaken(file.iId, file.strRelativePath, row);
    if (row != kNone) {
        Unindex(row);
        m_rows[row] = file;
        Index(row);
    }
    CloseGaps();
    return row != kNone;
}

bool CSyncFileRows::EraseFirstById(int id) {
    std::uint32_t row = FirstRowById(id);
    if (row == kNone) {
        return false;
    }
    EraseRow(row);
    CloseGaps();
    return true;
}

void CSyncFileRows::CloseGaps() {
    if (m_uGaps < kMinimumGapsToClose || m_uGaps * 2 < m_rows.size()) {
        return;
    }
    std::vector<TSyncFile> rows;
    rows.reserve(m_rows.size() - m_uGaps);
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        if (!m_gap[row]) {
            rows.push_back(std::move(m_rows[row]));
        }
    }
    Assign(std::move(rows));
}

std::vector<TSyncFile> CSyncFileRows::All() const {
    std::vector<TSyncFile> rows;
    rows.reserve(Size());
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        if (!m_gap[row]) {
            rows.push_back(m_rows[row]);
        }
    }
    return rows;
}
