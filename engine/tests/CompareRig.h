#pragma once
// The rig of the comparison tests: three modifiers of the three views the offline comparison
// reads (the disk: a real sync directory; the service: the reference service's control
// interface acting as another device of the account; the table: rows written into the real
// local file table), then one comparison, then assertions over its tasks, the table and the
// disk. One reference service serves the whole test program; each test has a fresh
// CORVENA_HOME and a fresh account.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/SyncRecords.h"
#include "common/Utility.h"
#include "engine/OfflineComparison.h"
#include "store/SyncTemporary.h"
#include "store/TSyncFileArray.h"
#include "store/tablestore/SystemInfo.h"
#include "testing/FileText.h"
#include "testing/LogText.h"
#include "testing/RefServiceProcess.h"
#include "testing/TempHome.h"
#include "testing/TransferHome.h"

namespace compare_test {

using testing_support::CRefServiceProcess;
using testing_support::JsonObject;
namespace fs = std::filesystem;

constexpr const char* kPassword = "secret";
constexpr const char* kPasswordBase64 = "c2VjcmV0";

class ServiceEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "corvena-service-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        Folder() = pattern;
        Process() = std::make_unique<CRefServiceProcess>(REFSERVICE_PATH, Folder() / "data",
                                                         "owner", kPassword);
    }
    void TearDown() override {
        Process().reset();
        std::error_code ec;
        fs::remove_all(Folder(), ec);
    }
    static std::unique_ptr<CRefServiceProcess>& Process() {
        static std::unique_ptr<CRefServiceProcess> process;
        return process;
    }
    // The service's metadata file.
    static fs::path MetaFile() { return Folder() / "data" / "meta.db"; }

  private:
    static fs::path& Folder() {
        static fs::path folder;
        return folder;
    }
};

inline auto* const serviceEnvironment = ::testing::AddGlobalTestEnvironment(new ServiceEnvironment);

// ".\a\b" of "a/b".
inline std::wstring RelativeOf(const std::string& path) {
    std::wstring relative = L".\\" + StringToWstring(path);
    std::replace(relative.begin(), relative.end(), L'/', L'\\');
    return relative;
}

// "origin oper path" of a task ("1 3 .\a.txt": a local deletion).
inline std::string TaskText(const TComand& task) {
    return std::to_string(task.iType) + " " + std::to_string(task.iOper) + " " +
           WstringToString(task.tSyncFile.strRelativePath);
}

// Each task text against its pattern ("*" and "?" as in wildcmp), in order.
inline ::testing::AssertionResult TasksMatch(const std::vector<TComand>& tasks,
                                             const std::vector<std::string>& patterns) {
    std::string actual;
    for (const TComand& task : tasks) {
        actual += "\n  " + TaskText(task);
    }
    bool bMatch = tasks.size() == patterns.size();
    for (std::size_t i = 0; bMatch && i < tasks.size(); ++i) {
        bMatch = wildcmp(StringToWstring(TaskText(tasks[i])).c_str(),
                         StringToWstring(patterns[i]).c_str()) == 1;
    }
    if (bMatch) {
        return ::testing::AssertionSuccess();
    }
    std::string expected;
    for (const std::string& pattern : patterns) {
        expected += "\n  " + pattern;
    }
    return ::testing::AssertionFailure() << "tasks:" << actual << "\nexpected:" << expected;
}

// Synced items carry a time well before the comparison mark.
constexpr std::time_t kSyncedTime = 1700000000;

class CompareRig : public ::testing::Test {
  protected:
    void SetUp() override {
        static std::atomic<int> accounts{0};
        account = "user" + std::to_string(getpid()) + "x" + std::to_string(++accounts);
        Service().Control("/admin/account",
                          JsonObject({{"user", account}, {"password", kPassword}}));
        ASSERT_EQ(testing_support::PrepareTransferHome(Service().Address(), account,
                                                       kPasswordBase64, syncDir),
                  "");
        ASSERT_EQ(testing_support::ReloadTransferState(), "");
        CSyncTemporary::Get()->Clear();
        // A comparison ran a minute ago; what was synced before it is not racily clean.
        SetMark("OfflineSyncTime", std::time(nullptr) - 60);
    }
    void TearDown() override { Service().Control("/admin/faults/clear", Json::objectValue); }

    static CRefServiceProcess& Service() { return *ServiceEnvironment::Process(); }

    // --- the disk
    fs::path Local(const std::string& path) const { return syncDir / path; }
    void DiskWrite(const std::string& path, const std::string& content,
                   std::time_t when = kSyncedTime) const {
        fs::create_directories(Local(path).parent_path());
        testing_support::WriteWholeFile(Local(path), content);
        SetTime(path, when);
    }
    void DiskFolder(const std::string& path, std::time_t when = kSyncedTime) const {
        fs::create_directories(Local(path));
        SetTime(path, when);
    }
    void SetTime(const std::string& path, std::time_t when) const {
        fs::last_write_time(Local(path), std::chrono::file_clock::from_sys(
                                             std::chrono::system_clock::from_time_t(when)));
    }
    std::string DiskRead(const std::string& path) const {
        return testing_support::ReadWholeFile(Local(path));
    }
    // Names of the sync directory's top level, sorted.
    std::vector<std::string> DiskNames(const std::string& folder = "") const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Local(folder))) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // --- the service, as another device
    void ServicePut(const std::string& path, const std::string& content) {
        Service().PutFile(account, path, content);
    }
    void ServiceFolder(const std::string& path) { Service().MakeFolder(account, path); }
    void ServiceRename(const std::string& path, const std::string& name) {
        Service().Control("/admin/fs/rename",
                          JsonObject({{"user", account}, {"path", path}, {"name", name}}));
    }
    // Moves the item into the folder to ("" for the root).
    void ServiceMove(const std::string& path, const std::string& to) {
        Service().Control("/admin/fs/move",
                          JsonObject({{"user", account}, {"path", path}, {"to", to}}));
    }
    void ServiceDelete(const std::string& path) {
        Service().Control("/admin/fs/delete", JsonObject({{"user", account}, {"path", path}}));
    }
    Json::Value ServiceEntry(const std::string& path) { return Service().Entry(account, path); }

    // --- the table
    // The row the last sync of the item would have written: the service's ids, time and
    // MD5, the local modify time.
    TSyncFile SyncedRow(const std::string& path) {
        Json::Value entry = ServiceEntry(path);
        EXPECT_FALSE(entry.isNull()) << path;
        TSyncFile row;
        row.iId = entry["fid"].asInt();
        row.iPId = entry["fpid"].asInt();
        row.strName = StringToWstring(entry["name"].asString());
        row.strRelativePath = RelativeOf(path);
        row.iType = entry["isdir"].asBool() ? 0 : 1;
        row.strFileSize = row.iType == 1 ? std::to_string(entry["size"].asInt64()) : "";
        row.strServerTime = entry["fmodify"].asString();
        row.strMD5 = entry["md5"].asString();
        row.strModifyTime = GetFileModifyTime(StringToWstring(Local(path).string()));
        return row;
    }
    void TableAdd(const TSyncFile& row) { ASSERT_EQ(CTSyncFileArray::Get()->Add(row), 0); }
    // A file as the last sync left it: on disk, on the service and in the table alike.
    void Synced(const std::string& path, const std::string& content) {
        DiskWrite(path, content);
        ServicePut(path, content);
        TableAdd(SyncedRow(path));
    }
    void SyncedFolder(const std::string& path) {
        DiskFolder(path);
        ServiceFolder(path);
        TableAdd(SyncedRow(path));
    }
    bool TableHas(const std::string& path) const {
        return CTSyncFileArray::Get()->Find(RelativeOf(path));
    }
    TSyncFile TableRow(const std::string& path) const {
        TSyncFile row;
        EXPECT_TRUE(CTSyncFileArray::Get()->GetSyncFile(RelativeOf(path), row)) << path;
        return row;
    }
    static void SetMark(const char* key, std::uint64_t value) {
        CSystemInfo config;
        ASSERT_EQ(config.ConnectDB(), 0);
        ASSERT_EQ(config.SetConfig(key, std::to_wstring(value)), 0);
        config.Disconnect();
    }

    // --- one comparison
    int Compare() { return comparison.GetOffLineTask(tasks); }
    std::string Log() const { return testing_support::LogText(home.path()); }

    testing_support::TempHome home;
    fs::path syncDir = home.path() / "sync";
    std::string account;
    COfflineComparison comparison;
    std::vector<TComand> tasks;
};

}  // namespace compare_test
