#include "engine/DiskScanner.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <unordered_set>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "engine/FirstUnmatched.h"
#include "platform/DirectoryScan.h"

namespace {

constexpr const char* kLogFile = "DiskScanner.cpp";

// True for well-formed UTF-8: no stray continuation bytes, overlong forms, surrogates or code
// points past U+10FFFF.
bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80                ? 1
                             : c >= 0xC2 && c < 0xE0 ? 2
                             : c >= 0xE0 && c < 0xF0 ? 3
                             : c >= 0xF0 && c < 0xF5 ? 4
                                                     : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        unsigned codePoint = length == 1 ? c : c & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            codePoint = codePoint << 6 | (next & 0x3F);
        }
        if ((length == 3 && (codePoint < 0x800 || (codePoint >= 0xD800 && codePoint < 0xE000))) ||
            (length == 4 && (codePoint < 0x10000 || codePoint > 0x10FFFF))) {
            return false;
        }
        i += length;
    }
    return true;
}

// Local time text of a modify time; neighbouring files mostly share their second.
class CTimeText {
  public:
    const std::string& Of(std::time_t t) {
        if (t != m_last || m_text.empty()) {
            std::tm tm{};
            localtime_r(&t, &tm);
            char text[64];
            std::snprintf(text, sizeof text, "%4d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                          tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
            m_text = text;
            m_last = t;
        }
        return m_text;
    }

  private:
    std::time_t m_last = 0;
    std::string m_text;
};

// ".\a\b" of "a/b", in the packed form (the names are UTF-8 already).
void PackedRelativeForm(const std::string& path, std::string& relative) {
    relative.assign(".\\");
    relative += path;
    for (std::size_t i = 2; i < relative.size(); ++i) {
        if (relative[i] == '/') {
            relative[i] = '\\';
        }
    }
}

std::wstring RelativeForm(const std::string& path) {
    std::string relative;
    PackedRelativeForm(path, relative);
    return StringToWstring(relative);
}

}  // namespace

int CDiskScanner::Fail(int result) {
    m_files.Clear();
    m_keptOut.clear();
    m_iResult = result;
    return result;
}

int CDiskScanner::Scan(const std::wstring& syncDir, const CPackedFiles& table,
                       std::optional<std::uint64_t> recordedDevice) {
    static constexpr const char* kFunction = "CDiskScanner::Scan";
    m_wstrSyncDir = syncDir;
    m_files.Clear();
    m_keptOut.clear();
    if (syncDir.empty()) {
        AfLog(4, kLogFile, kFunction, __LINE__, "%s", "Error: no sync directory to scan");
        return Fail(1001);
    }
    const std::string root = WstringToString(syncDir);
    plat::ScanFilter filter = [](std::string_view name) {
        return IsUtf8(name) && name.find('\\') == std::string_view::npos;
    };
    plat::ScanTree tree;
    int error = plat::ScanDirectoryTree(root, filter, tree);
    if (error != 0) {
        AfLog(4, kLogFile, kFunction, __LINE__,
              "Error: the sync directory (%s) cannot be scanned (error %d), or changed while it "
              "was scanned",
              root.c_str(), error);
        return Fail(1002);
    }
    if (tree.items.empty() && !table.Empty() && recordedDevice &&
        *recordedDevice != tree.rootDevice) {
        AfLog(4, kLogFile, kFunction, __LINE__,
              "Error: the sync directory (%s) is empty and on device %llu instead of %llu: its "
              "volume is not mounted",
              root.c_str(), static_cast<unsigned long long>(tree.rootDevice),
              static_cast<unsigned long long>(*recordedDevice));
        return Fail(1002);
    }
    m_device = tree.rootDevice;
    // An unreadable folder is left out with its rows: its own record would otherwise be a new
    // item beside a row that is not compared.
    std::unordered_set<std::string> unlisted;
    for (const plat::ScanSkipped& skipped : tree.skipped) {
        if (skipped.eWhy == plat::ScanSkip::Unlisted) {
            unlisted.insert(skipped.strPath);
        }
        if (skipped.eWhy == plat::ScanSkip::Refused) {
            AfLog(1, kLogFile, kFunction, __LINE__,
                  "Not synced: the name is not UTF-8 or holds a backslash (%s)",
                  WstringToString(StringToWstring(skipped.strPath)).c_str());
            continue;
        }
        m_keptOut.push_back(RelativeForm(skipped.strPath));
        if (skipped.eWhy == plat::ScanSkip::Unlisted) {
            AfLog(4, kLogFile, kFunction, __LINE__,
                  "Error: folder (%s) cannot be read (error %d), its items are left as they are",
                  skipped.strPath.c_str(), skipped.iError);
        } else {
            AfLog(
                0, kLogFile, kFunction, __LINE__, "Not synced: (%s) is a %s",
                skipped.strPath.c_str(),
                skipped.eWhy == plat::ScanSkip::Link ? "symbolic link" : "pipe, socket or device");
        }
    }
    // Nothing is ever matched: Find gives the first row at a path.
    CFirstUnmatched rows(table.Size(),
                         [&table](std::size_t row) { return table.RelativePath(row); });
    CTimeText times;
    std::string path;
    std::string size;
    m_files.Reserve(tree.items.size());
    for (plat::ScanItem& item : tree.items) {
        if (item.bFolder && unlisted.count(item.strPath) != 0) {
            continue;
        }
        PackedRelativeForm(item.strPath, path);
        size.clear();
        if (!item.bFolder) {
            size = std::to_string(item.size);
        }
        const std::size_t row = rows.Find(path);
        const bool bKnown = row != rows.npos;
        const std::size_t t = bKnown ? row : 0;
        m_files.Add(bKnown ? table.Id(t) : 0, bKnown ? table.PId(t) : 0, item.bFolder ? 0 : 1,
                    std::string_view(), path, size, times.Of(item.modifyTime),
                    bKnown ? table.ServerTime(t) : std::string_view(),
                    bKnown ? table.Md5(t) : std::string_view());
        item.strPath = std::string();
    }
    m_iResult = 0;
    return 0;
}
