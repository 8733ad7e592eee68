#include "store/SyncFileRows.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace {

// Gaps are closed only past this many, so that small tables never pay for it.
constexpr std::size_t kMinimumGapsToClose = 1024;
// Texts are repacked only past this much waste.
constexpr std::size_t kMinimumWasteToRepack = std::size_t{1} << 20;

std::uint32_t IdKey(int id) {
    return static_cast<std::uint32_t>(id);
}

// Rows are compared on use, so a shared key only costs a comparison.
std::uint32_t TextKey(std::string_view packed) {
    const std::uint64_t hash = std::hash<std::string_view>{}(packed);
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

}  // namespace

void CSyncFileRows::Clear() {
    m_rows = std::make_shared<CPackedFiles>();
    m_gap.clear();
    m_uGaps = 0;
    m_byId.Clear();
    m_byPath.Clear();
    m_byName.Clear();
}

void CSyncFileRows::Assign(CPackedFiles rows) {
    m_rows = std::make_shared<CPackedFiles>(std::move(rows));
    m_gap.assign(m_rows->Size(), false);
    m_uGaps = 0;
    RebuildIndexes();
}

void CSyncFileRows::RebuildIndexes() {
    m_byId.Clear();
    m_byPath.Clear();
    m_byName.Clear();
    m_byId.Reserve(m_rows->Size());
    m_byPath.Reserve(m_rows->Size());
    m_byName.Reserve(m_rows->Size());
    for (std::uint32_t row = 0; row < m_rows->Size(); ++row) {
        if (!m_gap[row]) {
            Index(row);
        }
    }
}

CPackedFiles& CSyncFileRows::Writable() {
    if (m_rows.use_count() > 1) {
        // A snapshot shares the rows: it keeps them as they are, and the change goes to a copy
        // that keeps every row number (gaps included) so that the indexes stay right.
        auto rows = std::make_shared<CPackedFiles>();
        rows->Reserve(m_rows->Size());
        for (std::size_t row = 0; row < m_rows->Size(); ++row) {
            rows->AddFrom(*m_rows, row);
        }
        m_rows = std::move(rows);
    }
    return *m_rows;
}

std::shared_ptr<const CPackedFiles> CSyncFileRows::Snapshot() {
    if (m_uGaps > 0) {
        CPackedFiles rows;
        All(rows);
        Assign(std::move(rows));
    }
    return m_rows;
}

void CSyncFileRows::Put(const TSyncFile& file) {
    EraseTaken(file.iId, CPackedFiles::PackText(file.strRelativePath), kNone);
    Writable().Add(file);
    m_gap.push_back(false);
    Index(static_cast<std::uint32_t>(m_rows->Size() - 1));
    CloseGaps();
}

void CSyncFileRows::EraseTaken(int id, std::string_view path, std::uint32_t keep) {
    std::vector<std::uint32_t> taken;
    m_byId.ForEach(IdKey(id), [&](std::uint32_t row) { taken.push_back(row); });
    m_byPath.ForEach(TextKey(path), [&](std::uint32_t row) {
        if (m_rows->RelativePath(row) == path) {
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
    Writable().Set(row, TSyncFile());
    m_gap[row] = true;
    ++m_uGaps;
}

void CSyncFileRows::Index(std::uint32_t row) {
    m_byId.Insert(IdKey(m_rows->Id(row)), row);
    m_byPath.Insert(TextKey(m_rows->RelativePath(row)), row);
    m_byName.Insert(TextKey(m_rows->Name(row)), row);
}

void CSyncFileRows::Unindex(std::uint32_t row) {
    m_byId.Erase(IdKey(m_rows->Id(row)), row);
    m_byPath.Erase(TextKey(m_rows->RelativePath(row)), row);
    m_byName.Erase(TextKey(m_rows->Name(row)), row);
}

std::uint32_t CSyncFileRows::FirstRowById(int id) const {
    std::uint32_t first = kNone;
    m_byId.ForEach(IdKey(id), [&](std::uint32_t row) { first = std::min(first, row); });
    return first;
}

std::uint32_t CSyncFileRows::FirstRowByPath(std::string_view path) const {
    std::uint32_t first = kNone;
    m_byPath.ForEach(TextKey(path), [&](std::uint32_t row) {
        if (row < first && m_rows->RelativePath(row) == path) {
            first = row;
        }
    });
    return first;
}

std::optional<TSyncFile> CSyncFileRows::FirstById(int id) const {
    const std::uint32_t row = FirstRowById(id);
    return row == kNone ? std::nullopt : std::optional<TSyncFile>(m_rows->At(row));
}

std::optional<TSyncFile> CSyncFileRows::FirstByPath(const std::wstring& path) const {
    const std::uint32_t row = FirstRowByPath(CPackedFiles::PackText(path));
    return row == kNone ? std::nullopt : std::optional<TSyncFile>(m_rows->At(row));
}

int CSyncFileRows::IdByPath(const std::wstring& path) const {
    const std::uint32_t row = FirstRowByPath(CPackedFiles::PackText(path));
    return row == kNone ? -1 : m_rows->Id(row);
}

std::vector<TSyncFile> CSyncFileRows::AllByPath(const std::wstring& path) const {
    return Matching(m_byPath, CPackedFiles::PackText(path), &CPackedFiles::RelativePath);
}

std::vector<TSyncFile> CSyncFileRows::AllByName(const std::wstring& name) const {
    return Matching(m_byName, CPackedFiles::PackText(name), &CPackedFiles::Name);
}

std::vector<TSyncFile> CSyncFileRows::Matching(const CRowIndex& index, std::string_view text,
                                               std::string_view (CPackedFiles::*field)(std::size_t)
                                                   const) const {
    std::vector<std::uint32_t> rows;
    index.ForEach(TextKey(text), [&](std::uint32_t row) {
        if (((*m_rows).*field)(row) == text) {
            rows.push_back(row);
        }
    });
    std::sort(rows.begin(), rows.end());
    std::vector<TSyncFile> files;
    for (std::uint32_t row : rows) {
        files.push_back(m_rows->At(row));
    }
    return files;
}

bool CSyncFileRows::Replace(int id, const TSyncFile& file) {
    const std::uint32_t row = FirstRowById(id);
    EraseTaken(file.iId, CPackedFiles::PackText(file.strRelativePath), row);
    if (row != kNone) {
        Unindex(row);
        Writable().Set(row, file);
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
    const bool bGaps = m_uGaps >= kMinimumGapsToClose && m_uGaps * 2 >= m_rows->Size();
    const bool bWaste = m_rows->WasteBytes() >= kMinimumWasteToRepack &&
                        m_rows->WasteBytes() * 2 >= m_rows->PoolBytes();
    if (!bGaps && !bWaste) {
        return;
    }
    CPackedFiles rows;
    All(rows);
    Assign(std::move(rows));
}

std::vector<TSyncFile> CSyncFileRows::All() const {
    std::vector<TSyncFile> rows;
    rows.reserve(Size());
    for (std::size_t row = 0; row < m_rows->Size(); ++row) {
        if (!m_gap[row]) {
            rows.push_back(m_rows->At(row));
        }
    }
    return rows;
}

void CSyncFileRows::All(CPackedFiles& out) const {
    out.Clear();
    out.Reserve(Size());
    for (std::size_t row = 0; row < m_rows->Size(); ++row) {
        if (!m_gap[row]) {
            out.AddFrom(*m_rows, row);
        }
    }
}
