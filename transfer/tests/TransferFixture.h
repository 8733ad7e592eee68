#pragma once
// What the transfer tests share: one reference service for the whole test program (the
// transfer session is process-wide and keeps the address it was created with), a fresh
// CORVENA_HOME and a fresh account on that service per test, the account record and the sync
// directory stored where the worker reads them, every state table reloaded empty, the status
// and its flags reset, and a running transfer manager whose parent and UI thread is the test
// thread.
//
// A child process of the same program (the kill-and-resume tests) is told the service's
// address and the account through TEST_SERVICE and TEST_ACCOUNT and starts no service of its
// own.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/SyncRecords.h"
#include "common/Utility.h"
#include "platform/Clock.h"
#include "platform/ThreadMessage.h"
#include "store/SyncFailArray.h"
#include "store/SyncStatus.h"
#include "store/SyncingTaskArray.h"
#include "store/TSyncFileArray.h"
#include "store/tablestore/SyncCompleted.h"
#include "testing/FileText.h"
#include "testing/LogText.h"
#include "testing/RefServiceProcess.h"
#include "testing/ServiceEnvironment.h"
#include "testing/TempHome.h"
#include "testing/TransferHome.h"
#include "testing/TrashHome.h"
#include "testing/WaitUntil.h"
#include "transfer/TransferManager.h"

namespace transfer_test {

using testing_support::CRefServiceProcess;
using testing_support::JsonObject;
using testing_support::WaitUntil;

constexpr const char* kPassword = testing_support::kServicePassword;
constexpr const char* kPasswordBase64 = testing_support::kServicePasswordBase64;

using testing_support::ServiceEnvironment;

inline auto* const serviceEnvironment = ::testing::AddGlobalTestEnvironment(new ServiceEnvironment);
inline auto* const trashHome = ::testing::AddGlobalTestEnvironment(new testing_support::TrashHome);

using testing_support::PatternContent;

// Points this home at the service with the account and reloads every state table.
inline void PrepareHome(const std::string& account, const std::filesystem::path& syncDir) {
    ASSERT_EQ(testing_support::PrepareTransferHome(ServiceEnvironment::Address(), account,
                                                   kPasswordBase64, syncDir),
              "");
}

inline void ReloadState() {
    ASSERT_EQ(testing_support::ReloadTransferState(), "");
}

// Back to the status of a fresh engine: idle, no flag but the service being reachable.
inline void ResetStatus() {
    CSyncStatus* status = CSyncStatus::Get();
    for (SYNC_FLAG flag : {MSYNC_FLAG_PAUSE, MSYNC_FLAG_DISKCAUSE_SYNC, MSYNC_FLAG_WAIT30S_SYNC,
                           MSYNC_FLAG_SPACE_FULL, MSYNC_FLAG_FILE4G}) {
        status->SetFlag(flag, false);
    }
    status->SetFlag(MSYNC_FLAG_NETSERVICE, true);
    status->SetStatus(MSYNC_STATE_IDLE, 1, OPEA_FLAG_QUIET);
    // The pause bit's changes signalled "StopSync"; no worker runs yet to take it.
    plat::WaitForSingleObject(status->GetSyncHandle(), 0);
}

class TransferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static std::atomic<int> accounts{0};
        account = "user" + std::to_string(getpid()) + "x" + std::to_string(++accounts);
        Service().Control("/admin/account",
                          JsonObject({{"user", account}, {"password", kPassword}}));
        PrepareHome(account, syncDir);
        ReloadState();
        ResetStatus();
        plat::EnsureMessageQueue();
        DrainMessages();
        CSyncStatus::Get()->SetUIThread(plat::GetCurrentThreadId());
        CHttpCommBase::SetMaxUploadSpeed(0);
        CHttpCommBase::SetMaxDownloadSpeed(0);
        manager = std::make_unique<CTransferManager>();
        ASSERT_EQ(manager->Start(), 0);
        manager->SetParentThead(plat::GetCurrentThreadId());
        Service().ClearRequests();
    }
    void TearDown() override {
        manager->Worker()->Resume();
        manager.reset();
        Service().Control("/admin/faults/clear", Json::objectValue);
    }

    static CRefServiceProcess& Service() { return *ServiceEnvironment::Process(); }

    std::filesystem::path Local(const std::string& relative) const { return syncDir / relative; }
    void WriteLocal(const std::string& relative, const std::string& content) const {
        std::filesystem::create_directories(Local(relative).parent_path());
        testing_support::WriteWholeFile(Local(relative), content);
    }

    // A task from the disk: the record of a local file or folder (.\a\b from "a/b").
    static TComand DiskTask(const std::string& path, int oper, int fileType = 1) {
        TComand task;
        task.iType = 1;
        task.iOper = oper;
        task.tSyncFile.iType = fileType;
        task.tSyncFile.strRelativePath = RelativeOf(path);
        task.tSyncFile.strName = StringToWstring(std::filesystem::path(path).filename().string());
        return task;
    }
    // A task from the service for the entry at path (as the listing gives it).
    TComand ServiceTask(const std::string& path, int oper) {
        TComand task;
        task.iType = 0;
        task.iOper = oper;
        if (const Json::Value entry = Entry(path); !entry.isNull()) {
            TSyncFile& file = task.tSyncFile;
            file.iId = entry["fid"].asInt();
            file.iPId = entry["fpid"].asInt();
            file.iType = entry["isdir"].asBool() ? 0 : 1;
            file.strFileSize = std::to_string(entry["size"].asInt64());
            file.strMD5 = entry["md5"].asString();
        }
        task.tSyncFile.strRelativePath = RelativeOf(path);
        task.tSyncFile.strName = StringToWstring(std::filesystem::path(path).filename().string());
        return task;
    }
    // The row a synchronisation leaves for the local item at path: its size and modification
    // time as they stand now.
    TSyncFile RecordOf(const std::string& path, int id) const {
        TSyncFile row;
        row.iId = id;
        row.strRelativePath = RelativeOf(path);
        row.strName = StringToWstring(std::filesystem::path(path).filename().string());
        const std::wstring native = StringToWstring(Local(path).string());
        int hidden = 0;
        GetFileInfo(native, row.strModifyTime, row.strFileSize, hidden);
        row.iType = std::filesystem::is_directory(Local(path)) ? 0 : 1;
        return row;
    }
    static std::wstring RelativeOf(const std::string& path) {
        std::wstring relative = L".\\" + StringToWstring(path);
        std::replace(relative.begin(), relative.end(), L'/', L'\\');
        return relative;
    }

    // The service's entry at path; a null value when there is none.
    Json::Value Entry(const std::string& path) { return Service().Entry(account, path); }
    int CountEntries(const std::string& path) {
        int count = 0;
        for (const Json::Value& entry : Service().Tree(account)) {
            count += entry["path"].asString() == path ? 1 : 0;
        }
        return count;
    }

    // Queues the tasks (they get their keys) and releases the worker once.
    static std::vector<TComand> Queue(std::vector<TComand> tasks) {
        CSyncingTaskArray::Get()->push_back(tasks);
        CSyncingTaskArray::Get()->Release(1);
        return tasks;
    }
    // Runs the tasks and waits until the worker reports the queue done (2033 via the manager).
    std::vector<TComand> RunTasks(std::vector<TComand> tasks) {
        tasks = Queue(std::move(tasks));
        WaitForMessage(MSG_SYNC_COMPLETE_ALL);
        return tasks;
    }

    // Takes messages of the test thread until one with that id arrives; all are kept in seen.
    plat::MSG WaitForMessage(unsigned id) {
        for (;;) {
            const plat::DWORD timeout = plat::Clock::IsManual() ? plat::INFINITE : 120000;
            if (plat::MsgWaitForObject(nullptr, timeout) != plat::WAIT_OBJECT_0 + 1) {
                ADD_FAILURE() << "message " << id << " did not arrive";
                return plat::MSG();
            }
            plat::MSG msg;
            plat::PeekMessage(&msg, true);
            seen.push_back(msg);
            if (msg.message == id) {
                return msg;
            }
        }
    }
    void DrainMessages() {
        plat::MSG msg;
        while (plat::PeekMessage(&msg, true)) {
        }
    }
    bool Saw(unsigned id, plat::WPARAM wParam) const {
        for (const plat::MSG& msg : seen) {
            if (msg.message == id && msg.wParam == wParam) {
                return true;
            }
        }
        return false;
    }

    static std::vector<SyncCompleted> CompletedRows() {
        std::vector<SyncCompleted> rows;
        CSyncCompleted table;
        EXPECT_EQ(table.ConnectDB(), 0);
        table.GetArr(rows);
        table.Disconnect();
        return rows;
    }
    static std::vector<SyncFail> Fails() {
        std::vector<SyncFail> fails;
        CSyncFailArray::Get()->GetFialTask(fails);
        return fails;
    }

    testing_support::TempHome home;
    std::filesystem::path syncDir = home.path() / "sync";
    std::string account;
    std::unique_ptr<CTransferManager> manager;
    std::vector<plat::MSG> seen;
};

}  // namespace transfer_test
