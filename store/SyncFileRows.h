#pragma once
// The local file table's rows in memory: in the order they were added, with indexes by id,
// relative path and name so that lookups in a table of the whole sync directory do not scan.
// Rows are not unique by id, path or name; every lookup answers with the first matching row in
// row order. Not thread-safe: CTSyncFileArray locks around it.

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/SyncRecords.h"

class CSyncFileRows {
  public:
    void Clear();
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
    std::size_t Size() const { return m_rows.size(); }

  private:
    // Row number (never reused) to row; the map keeps row order, and its nodes stay put, so the
    // indexes can point at them.
    using Rows = std::map<std::uint64_t, TSyncFile>;
    using Row = Rows::iterator;
    // The rows of one index key, in row order; usually one.
    using Bucket = std::vector<Row>;
    // Paths and names are indexed by their hash; rows are compared on use.
    using TextIndex = std::unordered_map<std::size_t, Bucket>;

    void Index(Row row);
    void Unindex(Row row);
    static std::vector<const TSyncFile*> Matching(const TextIndex& index, const std::wstring& text,
                                                  std::wstring TSyncFile::*field);

    Rows m_rows;
    std::uint64_t m_uNextRow = 0;
    std::unordered_map<int, Bucket> m_byId;
    TextIndex m_byPath;
    TextIndex m_byName;
};
