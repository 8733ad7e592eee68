#include "engine/OfflineComparison.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
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

// True when the path or a folder above it is one of roots.
bool AtOrBelow(std::wstring path, const std::unordered_set<std::wstring>& roots) {
    while (!path.empty() && path != L".") {
        if (roots.count(path) != 0) {
            return true;
        }
        path = GetParentPath(path);
    }
    return false;
}

// The rows not at or below one of roots; rows itself when there is none to leave out.
const std::vector<TSyncFile>& RowsOutside(const std::vector<TSyncFile>& rows,
                                          const std::unordered_set<std::wstring>& roots,
                                          std::vector<TSyncFile>& kept) {
    if (roots.empty()) {
        return rows;
    }
    for (const TSyncFile& row : rows) {
        if (!AtOrBelow(row.strRelativePath, roots)) {
            kept.push_back(row);
        }
    }
    return kept;
}

// Table paths of the refused server entries' rows: those rows and everything below them are
// left out of the server stage.
std::unordered_set<std::wstring> RefusedPaths(const std::vector<TSyncFile>& table,
                                              const std::unordered_set<int>& refusedIds) {
    std::unordered_set<std::wstring> paths;
    if (refusedIds.empty()) {
        return paths;
    }
    for (const TSyncFile& row : table) {
        if (refusedIds.count(row.iId) != 0) {
            paths.insert(row.strRelativePath);
        }
    }
    return paths;
}

}  // namespace

int COfflineComparison::GetOffLineTask(std::vector<TComand>& tasks) {
    tasks.clear();
    m_hold = TDeletionHold();
    AfLog(1, kLogFile, kFunction, __LINE__, "%s", "GetOffLineTask begin");
    const std::time_t started = plat::Clock::WallNow();
    const std::optional<std::uint64_t> lastCompared = ReadMark(kTimeKey);
    const std::wstring syncDir = CSystemInfoLD::Get()->GetSystemInfo().wstrSyncDir;
    const std::vector<TSyncFile> table = CTSyncFileArray::Get()->GetSyncFile();

    int result = m_diskScanner.Scan(syncDir, table, ReadMark(kDeviceKey));
    if (result != 0) {
        AfLog(1, kLogFile, kFunction, __LINE__,
              "Scan of the sync directory Failed!, Exit this offline sync. nRet = (%d)", result);
        return result;
    }
    std::vector<TSyncFile> server;
    std::unordered_set<int> refusedIds;
    result = CServerScan::Scan(server, refusedIds);
    if (result != 0) {
        AfLog(1, kLogFile, kFunction, __LINE__,
              "Get Server SyncFile array Failed!, Exit this offline sync. nRet = (%d)", result);
        return result;
    }

    const std::unordered_set<std::wstring> keptOut(m_diskScanner.KeptOut().begin(),
                                                   m_diskScanner.KeptOut().end());
    std::vector<TSyncFile> diskRowsKept;
    std::vector<TSyncFile> serverRowsKept;
    const std::vector<TSyncFile>& diskRows = RowsOutside(table, keptOut, diskRowsKept);
    const std::vector<TSyncFile>& serverRows =
        RowsOutside(table, RefusedPaths(table, refusedIds), serverRowsKept);

    CSycnFileHelper helper(
        syncDir, lastCompared ? LocalTimeText(std::time_t(*lastCompared)) : std::string());
    TChangeGroup diskGroup;
    TChangeGroup serverGroup;
    helper.GroupDiskSyncFile(m_diskScanner.Files(), diskRows, diskGroup);
    helper.GroupServerSyncFile(server, serverRows, serverGroup);
    server = std::vector<TSyncFile>();
    helper.CmpGroup(diskGroup, serverGroup);
    helper.IsFileClosed(diskGroup);
    helper.IsFileClosed(serverGroup);

    m_hold = CMassDeletionGuard::Apply(diskGroup, serverGroup, table.size());
    RefillServerTemporary(serverGroup);
    BuildOfflineTasks(diskGroup, serverGroup, tasks);

    if (!m_diskScanner.Files().empty()) {
        WriteMark(kDeviceKey, m_diskScanner.Device());
    }
    WriteMark(kTimeKey, static_cast<std::uint64_t>(started));
    AfLog(1, kLogFile, kFunction, __LINE__, "%s", "GetOffLineTask end");
    return 0;
}
