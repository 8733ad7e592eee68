#pragma once
// An account of many files made without uploading them, for the benchmarks that need a large
// synced state: the service's metadata written before the service starts (folders d0... of empty
// files f0.txt...), the same empty files on disk, and the local file table the last sync would
// have left, read from the running service's listing.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/Utility.h"
#include "engine/DiskScanner.h"
#include "engine/ServerScan.h"
#include "service/AccountBook.h"
#include "service/MetaStore.h"
#include "store/tablestore/DatabasePool.h"
#include "store/tablestore/DbBase.h"
#include "store/tablestore/RecordColumns.h"
#include "store/tablestore/SystemInfo.h"
#include "testing/PackedLists.h"

namespace bench_seed {

namespace fs = std::filesystem;

constexpr const char* kEmptyMd5 = "d41d8cd98f00b204e9800998ecf8427e";

inline std::string FileName(int folder, int file) {
    return "d" + std::to_string(folder) + "/f" + std::to_string(file) + ".txt";
}

// The account's folders and empty files, straight into the service's metadata.
inline void SeedService(const fs::path& dataDir, const std::string& user,
                        const std::string& password, int folders, int files) {
    fs::create_directories(dataDir);
    CMetaStore store(dataDir / "meta.db");
    std::int64_t account = CAccountBook(store).Provide(user, password, std::nullopt).iId;
    auto lock = store.Lock();
    CMetaStore::CTransaction transaction(store, lock);
    for (int folder = 0; folder < folders; ++folder) {
        TEntry entry;
        entry.iAccount = account;
        entry.strName = "d" + std::to_string(folder);
        entry.bDir = true;
        entry.iCreated = entry.iModified = store.NextStamp(lock);
        const std::int64_t pid = store.InsertEntry(lock, entry);
        for (int file = 0; file < files / folders; ++file) {
            entry.iPId = pid;
            entry.strName = "f" + std::to_string(file) + ".txt";
            entry.bDir = false;
            entry.iSize = 0;
            entry.strMD5 = kEmptyMd5;
            entry.iCreated = entry.iModified = store.NextStamp(lock);
            store.InsertEntry(lock, entry);
        }
    }
    transaction.Commit();
}

inline void SeedDisk(const fs::path& syncDir, int folders, int files) {
    for (int folder = 0; folder < folders; ++folder) {
        fs::create_directories(syncDir / ("d" + std::to_string(folder)));
        for (int file = 0; file < files / folders; ++file) {
            std::ofstream(syncDir / FileName(folder, file));
        }
    }
}

// The rows the last sync left: the listing's records with the local modify times.
inline void SeedTable(const fs::path& syncDir) {
    CPackedFiles packed;
    std::unordered_set<int> refused;
    if (CServerScan::ScanfServer(packed) != 0 || CServerScan::VerifyServerData(packed) != 1) {
        throw std::runtime_error("the listing cannot be read");
    }
    CServerScan::BuildRelativePaths(packed, refused);
    std::vector<TSyncFile> listing = testing_support::Unpacked(packed);
    packed.Clear();
    CDiskScanner disk;
    if (disk.Scan(StringToWstring(syncDir.string()), CPackedFiles(), std::nullopt) != 0) {
        throw std::runtime_error("the disk cannot be scanned");
    }
    std::unordered_map<std::wstring, std::string> times;
    for (std::size_t i = 0; i < disk.Files().Size(); ++i) {
        times.emplace(CPackedFiles::UnpackText(disk.Files().RelativePath(i)),
                      disk.Files().ModifyTime(i));
    }
    std::shared_ptr<CDatabase> database;
    if (CDatabasePool::Instance().Acquire(DbFile::kSyncFile, database) != SQLITE_OK) {
        throw std::runtime_error("no table");
    }
    auto lock = database->Lock();
    CTransaction transaction(*database);
    int rc = transaction.Begin();
    const std::string sql = "INSERT INTO FileInfo(" + SyncFileColumnNames("") + ") VALUES(" +
                            Placeholders(kSyncFileColumnCount) + ")";
    for (std::size_t i = 0; rc == SQLITE_OK && i < listing.size(); ++i) {
        listing[i].strModifyTime = times[listing[i].strRelativePath];
        CStatement statement(*database, sql);
        BindSyncFile(statement, 1, listing[i]);
        rc = statement.Run();
    }
    if (transaction.Finish(rc) != SQLITE_OK) {
        throw std::runtime_error("the table cannot be filled");
    }
}

// The last comparison ended after the files were synced: none of them is racily clean.
inline void MarkCompared() {
    CSystemInfo config;
    config.ConnectDB();
    config.SetConfig("OfflineSyncTime", std::to_wstring(std::time(nullptr) + 1));
    config.Disconnect();
}

}  // namespace bench_seed
