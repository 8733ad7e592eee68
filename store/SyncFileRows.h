#pragma once
// The local file table's rows in memory: in the order they were added, with indexes by id,
// relative path and name so that lookups in a table of the whole sync directory do not scan.
// Put and Replace keep the rows unique by id and by relative path, as the store's unique
// indexes keep the stored rows (a row that takes an id or a path replaces the row that had
// it); names repeat. Lookups answer with the first matching row in row order. Not
// thread-safe: CTSyncFileArray locks around it.
//
// The rows are packed (a table of the whole sync directory is held for the engine's life, some
// 150 bytes a row instead of 600); a removed row leaves a gap that is closed (and the indexes
// rebuilt) once gaps make up half of the rows, so removals cost no shifting of rows.
//
// A snapshot shares the rows instead of copying them (a copy of the whole sync directory costs
// as much memory as the rows themselves): the first change made while one is held moves the
// rows to a copy, and the snapshot keeps what it had. The owner's lock that guards the changes
// must also be held where a snapshot is let go, so that a change finding the rows no longer
// shared comes after every read made through it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/PackedFiles.h"
#include "common/SyncRecords.h"
#include "store/RowIndex.h"

class CSyncFileRows {
  public:
    void Clear();
    // Replaces all rows with those of a reload, in their order.
    void Assign(CPackedFiles rows);
    // Removes the rows with the file's id or path and appends the file, as the store's insert
    // does.
    void Put(const TSyncFile& file);

    // Copies of the first row with that id or path, if any.
    std::optional<TSyncFile> FirstById(int id) const;
    std::optional<TSyncFile> FirstByPath(const std::wstring& path) const;
    bool HasId(int id) const { return FirstRowById(id) != kNone; }
    bool HasPath(const std::wstring& path) const {
        return FirstRowByPath(CPackedFiles::PackText(path)) != kNone;
    }
    // iId of the first row with that path, or -1.
    int IdByPath(const std::wstring& path) const;
    // Every row with that path or name, in row order.
    std::vector<TSyncFile> AllByPath(const std::wstring& path) const;
    std::vector<TSyncFile> AllByName(const std::wstring& name) const;

    // Overwrites the row with that id in place, as the store's replace does: other rows with
    // the file's id or path go. False when no row has the id; the other rows go all the same
    // (the store replaced them with the record it added).
    bool Replace(int id, const TSyncFile& file);
    // Removes the row with that id; false when there is none.
    bool EraseFirstById(int id);

    // Copies of all rows, in row order.
    std::vector<TSyncFile> All() const;
    // The same, packed (out is emptied first).
    void All(CPackedFiles& out) const;
    // All rows, in row order, as they are now; later changes leave the snapshot as it is. Gaps
    // are closed first, so that the snapshot holds only rows.
    std::shared_ptr<const CPackedFiles> Snapshot();
    std::size_t Size() const { return m_rows->Size() - m_uGaps; }

  private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;

    // Removes the rows other than keep that have the id or the (packed) path; gaps are not
    // closed.
    void EraseTaken(int id, std::string_view path, std::uint32_t keep);
    // The rows, to be changed: copied first when a snapshot shares them.
    CPackedFiles& Writable();
    void EraseRow(std::uint32_t row);
    void Index(std::uint32_t row);
    void Unindex(std::uint32_t row);
    void RebuildIndexes();
    // Closes the gaps once they make up half of the rows, and repacks the texts once most of
    // the pool is left over from changed rows.
    void CloseGaps();
    // The first row with the id, or kNone.
    std::uint32_t FirstRowById(int id) const;
    std::uint32_t FirstRowByPath(std::string_view path) const;
    // The rows whose field equals the packed text, in row order.
    std::vector<TSyncFile> Matching(const CRowIndex& index, std::string_view text,
                                    std::string_view (CPackedFiles::*field)(std::size_t)
                                        const) const;

    std::shared_ptr<CPackedFiles> m_rows = std::make_shared<CPackedFiles>();
    std::vector<bool> m_gap;
    std::size_t m_uGaps = 0;
    CRowIndex m_byId;
    CRowIndex m_byPath;  // by hash of the path; rows are compared on use
    CRowIndex m_byName;  // by hash of the name
};
