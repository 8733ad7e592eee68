#pragma once
// The local file table's rows in memory: in the order they were added, with indexes by id,
// relative path and name so that lookups in a table of the whole sync directory do not scan.
// Rows are not unique by id, path or name; every lookup answers with the first matching row in
// row order. Not thread-safe: CTSyncFileArray locks around it.
//
// The rows lie in one vector; a removed row leaves a gap that is closed (and the indexes
// rebuilt) once gaps make up half of the vector, so removals cost no shifting of rows.

#include <cstdint>
#include <string>
#include <vector>

#include "common/SyncRecords.h"
#include "store/RowIndex.h"

class CSyncFileRows {
  public:
    void Clear();
    // Replaces all rows with those of a reload, in their order.
    void Assign(std::vector<TSyncFile> rows);
    void Append(TSyncFile file);

    const TSyncFile* FirstById(int id) const;
    const TSyncFile* FirstByPath(const std::wstring& path) const;
    // Every row with that path or name, in row order.
    std::vector<const TSyncFile*> AllByPath(const std::wstring& path) const;
    std::vector<const TSyncFile*> AllByName(const std::wstring& name) const;

    // Overwrites the first row with that id in place; false when there is none.
    bool OverwriteFirstById(int id, const TSyncFile& file);
    // Removes the first row with that id; false when there is none.
    bool EraseFirstById(int id);

    // Copies of all rows, in row order.
    std::vector<TSyncFile> All() const;
    std::size_t Size() const { return m_rows.size() - m_uGaps; }

  private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;

    void Index(std::uint32_t row);
    void Unindex(std::uint32_t row);
    void RebuildIndexes();
    // Closes the gaps once they make up half of the rows.
    void CloseGaps();
    // The first row with the id, or kNone.
    std::uint32_t FirstRowById(int id) const;
    // The rows whose field equals text, in row order.
    std::vector<const TSyncFile*> Matching(const CRowIndex& index, const std::wstring& text,
                                           std::wstring TSyncFile::*field) const;

    std::vector<TSyncFile> m_rows;
    std::vector<bool> m_gap;
    std::size_t m_uGaps = 0;
    CRowIndex m_byId;
    CRowIndex m_byPath;  // by hash of the path; rows are compared on use
    CRowIndex m_byName;  // by hash of the name
};
