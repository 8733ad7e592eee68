#pragma once
// File records for lists that hold every item of a sync directory at once: the comparison's
// copy of the local file table, its disk scan and the service listing. A TSyncFile costs some
// 600 bytes in memory (six strings, two of them wide, and the rename and break point data); a
// packed record keeps its numbers inline and its texts in one shared pool, some 150 bytes.
//
// Wide texts (name, relative path) are kept in UTF-8 form: any two names are equal exactly when
// their packed texts are, so lookups compare and hash the packed texts without widening them.
// Code points that UTF-8 cannot hold (surrogates, values past U+10FFFF) get an escape that never
// holds an ASCII byte, so no text is lost and a backslash in a packed path is always a
// separator. The rename and break point data are kept beside the records for the few that
// have any.
//
// Records keep the order they were added in. Not thread-safe: one owner at a time.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/SyncRecords.h"

class CPackedFiles {
  public:
    // Appends a copy of file.
    void Add(const TSyncFile& file);
    // Appends a record whose texts are given packed: name and relativePath in the UTF-8 form of
    // PackText. An empty name with a relative path stands for the path's last component.
    void Add(int iId, int iPId, int iType, std::string_view name, std::string_view relativePath,
             std::string_view fileSize, std::string_view modifyTime, std::string_view serverTime,
             std::string_view md5);

    std::size_t Size() const { return m_records.size(); }
    bool Empty() const { return m_records.empty(); }
    void Clear();
    void Reserve(std::size_t records) { m_records.reserve(records); }

    int Id(std::size_t i) const { return m_records[i].iId; }
    int PId(std::size_t i) const { return m_records[i].iPId; }
    int Type(std::size_t i) const { return m_records[i].iType; }
    std::string_view Name(std::size_t i) const;
    std::string_view RelativePath(std::size_t i) const;
    std::string_view FileSize(std::size_t i) const { return Text(i, kFileSize); }
    std::string_view ModifyTime(std::size_t i) const { return Text(i, kModifyTime); }
    std::string_view ServerTime(std::size_t i) const { return Text(i, kServerTime); }
    std::string_view Md5(std::size_t i) const { return Text(i, kMd5); }

    // Appends a copy of record i of other.
    void AddFrom(const CPackedFiles& other, std::size_t i);
    // Gives record i the fields of file in place.
    void Set(std::size_t i, const TSyncFile& file);
    // Gives record i a new relative path (packed form).
    void SetRelativePath(std::size_t i, std::string_view relativePath);
    // Keeps the records whose flag is true, in order.
    void KeepIf(const std::vector<bool>& keep);
    // Texts that changing and dropping records left in the pool unused, and the pool's size:
    // an owner that changes records repacks them (AddFrom into a new list) when most of the
    // pool is waste.
    std::size_t WasteBytes() const { return m_uWaste; }
    std::size_t PoolBytes() const { return m_uPool; }
    // The record as a TSyncFile.
    TSyncFile At(std::size_t i) const;

    // The packed form of a wide text, and back.
    static std::string PackText(std::wstring_view text);
    static void AppendPacked(std::string& out, std::wstring_view text);
    static std::wstring UnpackText(std::string_view packed);

  private:
    enum ETextField : std::uint8_t { kName, kFileSize, kModifyTime, kServerTime, kMd5, kFields };
    static constexpr std::uint32_t kNameIsLeaf = 0xFFFFFFFF;
    static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

    struct TRecord {
        std::uint64_t uTexts = 0;  // chunk << 32 | offset of the texts but the path
        std::uint64_t uPath = 0;   // chunk << 32 | offset of the relative path
        std::uint32_t uLength[kFields] = {};
        std::uint32_t uPathLength = 0;
        int iId = 0;
        int iPId = 0;
        int iType = 0;
    };
    // A block of the pool; a text never spans two.
    struct TChunk {
        std::unique_ptr<char[]> data;
        std::size_t uUsed = 0;
        std::size_t uCapacity = 0;
    };

    std::string_view Text(std::size_t i, ETextField field) const;
    static std::size_t TextBytes(const TRecord& record);
    std::string_view At(std::uint64_t place, std::size_t length) const;
    // Room for bytes in the pool; place receives where it starts.
    char* Allocate(std::size_t bytes, std::uint64_t& place);

    std::vector<TRecord> m_records;
    std::vector<TChunk> m_chunks;
    std::unordered_map<std::size_t, DataExtension> m_extensions;
    std::size_t m_uWaste = 0;
    std::size_t m_uPool = 0;
};
