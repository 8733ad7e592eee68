#include "common/PackedFiles.h"

#include <cstring>

namespace {

bool IsDefault(const DataExtension& extension) {
    return extension.eType == 0 && extension.dataReName.wstrNewName.empty() &&
           extension.dataReName.wstrOldName.empty() && extension.dataBreakPoint.iTaskType == 0 &&
           extension.dataBreakPoint.strTempName.empty();
}

// The text after the last backslash.
std::string_view Leaf(std::string_view path) {
    const std::size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

constexpr unsigned char kEscape = 0xFF;

}  // namespace

void CPackedFiles::AppendPacked(std::string& out, std::wstring_view text) {
    for (wchar_t wc : text) {
        const std::uint32_t c = static_cast<std::uint32_t>(wc);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            // Surrogates too: they are kept as they came.
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x110000) {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            // Beyond Unicode: an escape byte and six continuation bytes of six bits each.
            out.push_back(static_cast<char>(kEscape));
            for (int shift = 30; shift >= 0; shift -= 6) {
                out.push_back(static_cast<char>(0x80 | ((c >> shift) & 0x3F)));
            }
        }
    }
}

std::string CPackedFiles::PackText(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    AppendPacked(out, text);
    return out;
}

std::wstring CPackedFiles::UnpackText(std::string_view packed) {
    std::wstring out;
    out.reserve(packed.size());
    for (std::size_t i = 0; i < packed.size();) {
        const unsigned char lead = static_cast<unsigned char>(packed[i++]);
        std::size_t more = lead < 0x80   ? 0
                           : lead < 0xE0 ? 1
                           : lead < 0xF0 ? 2
                           : lead < 0xF8 ? 3
                                         : 6;
        std::uint32_t c = lead < 0x80   ? lead
                          : lead < 0xE0 ? lead & 0x1F
                          : lead < 0xF0 ? lead & 0x0F
                          : lead < 0xF8 ? lead & 0x07
                                        : 0;
        for (; more > 0 && i < packed.size(); --more) {
            c = c << 6 | (static_cast<unsigned char>(packed[i++]) & 0x3F);
        }
        out.push_back(static_cast<wchar_t>(c));
    }
    return out;
}

void CPackedFiles::Clear() {
    m_records.clear();
    m_chunks.clear();
    m_extensions.clear();
    m_uWaste = 0;
    m_uPool = 0;
}

std::size_t CPackedFiles::TextBytes(const TRecord& record) {
    std::size_t bytes = record.uPathLength;
    for (std::uint32_t length : record.uLength) {
        bytes += length == kNameIsLeaf ? 0 : length;
    }
    return bytes;
}

char* CPackedFiles::Allocate(std::size_t bytes, std::uint64_t& place) {
    if (m_chunks.empty() || m_chunks.back().uCapacity - m_chunks.back().uUsed < bytes) {
        TChunk& chunk = m_chunks.emplace_back();
        chunk.uCapacity = std::max(bytes, kChunkBytes);
        chunk.data = std::make_unique_for_overwrite<char[]>(chunk.uCapacity);
    }
    TChunk& chunk = m_chunks.back();
    place = std::uint64_t(m_chunks.size() - 1) << 32 | chunk.uUsed;
    char* room = chunk.data.get() + chunk.uUsed;
    chunk.uUsed += bytes;
    m_uPool += bytes;
    return room;
}

std::string_view CPackedFiles::At(std::uint64_t place, std::size_t length) const {
    if (length == 0) {
        return {};
    }
    return std::string_view(m_chunks[place >> 32].data.get() + (place & 0xFFFFFFFF), length);
}

void CPackedFiles::Add(int iId, int iPId, int iType, std::string_view name,
                       std::string_view relativePath, std::string_view fileSize,
                       std::string_view modifyTime, std::string_view serverTime,
                       std::string_view md5) {
    TRecord& record = m_records.emplace_back();
    record.iId = iId;
    record.iPId = iPId;
    record.iType = iType;
    const bool bLeaf = !relativePath.empty() && (name.empty() || name == Leaf(relativePath));
    const std::string_view texts[kFields] = {bLeaf ? std::string_view() : name, fileSize,
                                             modifyTime, serverTime, md5};
    std::size_t bytes = 0;
    for (std::size_t k = 0; k < kFields; ++k) {
        record.uLength[k] = static_cast<std::uint32_t>(texts[k].size());
        bytes += texts[k].size();
    }
    char* room = Allocate(bytes, record.uTexts);
    for (const std::string_view text : texts) {
        if (!text.empty()) {
            std::memcpy(room, text.data(), text.size());
            room += text.size();
        }
    }
    if (bLeaf) {
        record.uLength[kName] = kNameIsLeaf;
    }
    SetRelativePath(m_records.size() - 1, relativePath);
}

void CPackedFiles::Add(const TSyncFile& file) {
    const std::string name = PackText(file.strName);
    const std::string path = PackText(file.strRelativePath);
    // An empty name would read as the path's leaf.
    Add(file.iId, file.iPId, file.iType, name, path, file.strFileSize, file.strModifyTime,
        file.strServerTime, file.strMD5);
    if (name.empty() && !path.empty()) {
        m_records.back().uLength[kName] = 0;
    }
    if (!IsDefault(file.dataExtension)) {
        m_extensions[m_records.size() - 1] = file.dataExtension;
    }
}

void CPackedFiles::AddFrom(const CPackedFiles& other, std::size_t i) {
    const TRecord& from = other.m_records[i];
    Add(from.iId, from.iPId, from.iType,
        from.uLength[kName] == kNameIsLeaf ? std::string_view() : other.Name(i),
        other.RelativePath(i), other.FileSize(i), other.ModifyTime(i), other.ServerTime(i),
        other.Md5(i));
    if (from.uLength[kName] != kNameIsLeaf) {
        // An empty name stays empty; any other is stored as it was.
        TRecord& record = m_records.back();
        if (record.uLength[kName] == kNameIsLeaf && from.uLength[kName] == 0) {
            record.uLength[kName] = 0;
        }
    }
    auto extension = other.m_extensions.find(i);
    if (extension != other.m_extensions.end()) {
        m_extensions[m_records.size() - 1] = extension->second;
    }
}

void CPackedFiles::Set(std::size_t i, const TSyncFile& file) {
    Add(file);
    m_uWaste += TextBytes(m_records[i]);
    m_records[i] = m_records.back();
    m_records.pop_back();
    m_extensions.erase(i);
    auto extension = m_extensions.find(m_records.size());
    if (extension != m_extensions.end()) {
        m_extensions[i] = std::move(extension->second);
        m_extensions.erase(extension);
    }
}

void CPackedFiles::SetRelativePath(std::size_t i, std::string_view relativePath) {
    TRecord& record = m_records[i];
    m_uWaste += record.uPathLength;
    record.uPathLength = static_cast<std::uint32_t>(relativePath.size());
    char* room = Allocate(relativePath.size(), record.uPath);
    if (!relativePath.empty()) {
        std::memcpy(room, relativePath.data(), relativePath.size());
    }
}

std::string_view CPackedFiles::Text(std::size_t i, ETextField field) const {
    const TRecord& record = m_records[i];
    std::uint64_t place = record.uTexts;
    for (std::size_t k = 0; k < field; ++k) {
        place += record.uLength[k] == kNameIsLeaf ? 0 : record.uLength[k];
    }
    const std::uint32_t length = record.uLength[field];
    return At(place, length == kNameIsLeaf ? 0 : length);
}

std::string_view CPackedFiles::Name(std::size_t i) const {
    return m_records[i].uLength[kName] == kNameIsLeaf ? Leaf(RelativePath(i)) : Text(i, kName);
}

std::string_view CPackedFiles::RelativePath(std::size_t i) const {
    return At(m_records[i].uPath, m_records[i].uPathLength);
}

void CPackedFiles::KeepIf(const std::vector<bool>& keep) {
    std::unordered_map<std::size_t, DataExtension> extensions;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (!keep[i]) {
            m_uWaste += TextBytes(m_records[i]);
            continue;
        }
        auto extension = m_extensions.find(i);
        if (extension != m_extensions.end()) {
            extensions[kept] = std::move(extension->second);
        }
        m_records[kept++] = m_records[i];
    }
    m_records.resize(kept);
    m_extensions = std::move(extensions);
}

TSyncFile CPackedFiles::At(std::size_t i) const {
    TSyncFile file;
    file.iId = Id(i);
    file.iPId = PId(i);
    file.iType = Type(i);
    file.strName = UnpackText(Name(i));
    file.strRelativePath = UnpackText(RelativePath(i));
    file.strFileSize = FileSize(i);
    file.strModifyTime = ModifyTime(i);
    file.strServerTime = ServerTime(i);
    file.strMD5 = Md5(i);
    auto extension = m_extensions.find(i);
    if (extension != m_extensions.end()) {
        file.dataExtension = extension->second;
    }
    return file;
}
