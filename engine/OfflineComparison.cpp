#include "engine/OfflineComparison.h"

#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "engine/OfflineTasks.h"
#include "engine/ServerScan.h"
#include "engine/SycnFileHelper.h"
#include "platform/Clock.h"
#include "store/SystemInfoLD.h"
#include "store/TSyncFileArray.h"
#include "store/tablestore/SystemInfo.h"

namespace {

constexpr const char* kLogFile = "OfflineComparison.cpp";
constexpr const char* kFunction = "CTaskBuilder::GetOffLineTask";
constexpr const char* kDeviceKey = "SyncDirDevice";
constexpr const char* kTimeKey = "OfflineSyncTime";

std::optional<std::uint64_t> ReadMark(const char* key) {
    CSystemInfo config;
    std::wstring value;
    const bool bRead = config.ConnectDB() == 0 && config.GetConfig(key, value) == 0;
    config.Disconnect();
    if (!bRead || value.empty()) {
        return std::nullopt;
    }
    try {
        return std::stoull(WstringToString(value));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void WriteMark(const char* key, std::uint64_t value) {
    CSystemInfo config;
    if (config.ConnectDB() != 0 || config.SetConfig(key, std::to_wstring(value)) != 0) {
        AfLog(1, kLogFile, kFunction, __LINE__, "Error: cannot store (%s)", key);
    }
    config.Disconnect();
}

std::string LocalTimeText(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%4d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

// True when the packed path or a folder above it is one of roots.
bool AtOrBelow(std::string_view path, const std::unordered_set<std::string>& roots) {
    while (!path.empty() && path != ".") {
        if (roots.count(std::string(path)) != 0) {
            return true;
        }
        const std::size_t slash = path.rfind('\\');
        path = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
    }
    return false;
}

// The rows not at or below one of roots (packed paths); rows itself when there is none to
// leave out.
const CPackedFiles& RowsOutside(const CPackedFiles& rows,
                                const std::unordered_set<std::string>& roots, CPackedFiles& kept) {
    if (roots.empty()) {
        return rows;
    }
    for (std::size_t i = 0; i < rows.Size(); ++i) {
        if (!AtOrBelow(rows.RelativePath(i), roots)) {
            kept.Add(rows.At(i));
        }
    }
    return kept;
}

// Packed table paths of the refused server entries' rows: those rows and everything below
// them are left out of the server stage.
std::unordered_set<std::string> RefusedPaths(const CPackedFiles& table,
                                             const std::unordered_set<int>& refusedIds) {
    std::unordered_set<std::string> paths;
    if (refusedIds.empty()) {
        return paths;
    }
    for (std::size_t i = 0; i < table.Size(); ++i) {
        if (refusedIds.count(table.Id(i)) != 0) {
            paths.insert(std::string(table.RelativePath(i)));
        }
    }
    return paths;
}

}  // namespace

int COfflineComparison::GetOffLineTask(std::vector<TComand>& tasks) {
    const int result = Compare(tasks);
    // The lists of the whole sync directory are freed by now; the allocator keeps their pages
    // in the arena of the thread that compared unless told to give them back, and each thread
    // that compares has an arena of its own.
    malloc_trim(0);
    return result;
}

int COfflineComparison::Compare(std::vector<TComand>& tasks) {
    tasks.clear();
    m_hold = TDeletionHold();
    AfLog(1, kLogFile, kFunction, __LINE__, "%s", "GetOffLineTask begin");
    const std::time_t started = plat::Clock::WallNow();
    const std::optional<std::uint64_t> lastCompared = ReadMark(kTimeKey);
    const std::wstring syncDir = CSystemInfoLD::Get()->GetSystemInfo().wstrSyncDir;
    const std::shared_ptr<const CPackedFiles> snapshot = CTSyncFileArray::Get()->Snapshot();
    const CPackedFiles& table = *snapshot;

    int result = m_diskScanner.Scan(syncDir, table, ReadMark(kDeviceKey));
    if (result != 0) {
        AfLog(1, kLogFile, kFunction, __LINE__,
              "Scan of the sync directory Failed!, Exit this offline sync. nRet = (%d)", result);
        return result;
    }
    CPackedFiles server;
    std::unordered_set<int> refusedIds;
    result = CServerScan::Scan(server, refusedIds);
    if (result != 0) {
        AfLog(1, kLogFile, kFunction, __LINE__,
              "Get Server SyncFile array Failed!, Exit this offline sync. nRet = (%d)", result);
        return result;
    }

    std::unordered_set<std::string> keptOut;
    for (const std::wstring& path : m_diskScanner.KeptOut()) {
        keptOut.insert(CPackedFiles::PackText(path));
    }
    CPackedFiles diskRowsKept;
    CPackedFiles serverRowsKept;
    const CPackedFiles& diskRows = RowsOutside(table, keptOut, diskRowsKept);
    const CPackedFiles& serverRows =
        RowsOutside(table, RefusedPaths(table, refusedIds), serverRowsKept);

    CSycnFileHelper helper(
        syncDir, lastCompared ? LocalTimeText(std::time_t(*lastCompared)) : std::string());
    TChangeGroup diskGroup;
    TChangeGroup serverGroup;
    helper.GroupDiskSyncFile(m_diskScanner.Files(), diskRows, diskGroup);
    helper.GroupServerSyncFile(server, serverRows, serverGroup);
    server.Clear();
    helper.CmpGroup(diskGroup, serverGroup);
    helper.IsFileClosed(diskGroup);
    helper.IsFileClosed(serverGroup);

    m_hold = CMassDeletionGuard::Apply(diskGroup, serverGroup, table.Size());
    RefillServerTemporary(serverGroup);
    BuildOfflineTasks(diskGroup, serverGroup, tasks);

    if (!m_diskScanner.Files().Empty()) {
        WriteMark(kDeviceKey, m_diskScanner.Device());
    }
    WriteMark(kTimeKey, static_cast<std::uint64_t>(started));
    AfLog(1, kLogFile, kFunction, __LINE__, "%s", "GetOffLineTask end");
    return 0;
}
