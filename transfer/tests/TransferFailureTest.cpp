// The worker's reactions to refusals of the service, to transport errors (retried after a
// growing delay on the process clock, cut short by pause and by the end request) and to
// transfers cut at a byte offset, which resume from their break points.

#include "transfer/tests/TransferFixture.h"

#include "store/tablestore/SyncFail.h"
#include "testing/ManualClock.h"
#include "transfer/DownLoad.h"

namespace transfer_test {
namespace {

using testing_support::ManualClock;
using testing_support::ReadWholeFile;

int CountRequests(CRefServiceProcess& service, const std::string& endpoint) {
    int count = 0;
    for (const auto& request : service.Requests()) {
        count += request.strTarget.rfind("/biz" + endpoint, 0) == 0 ? 1 : 0;
    }
    return count;
}

TEST_F(TransferTest, SpaceFullStopsTransfersAndClearsTheQueue) {
    Service().Control("/admin/account", JsonObject({{"user", account}, {"quota", 1000}}));
    WriteLocal("big.txt", PatternContent(5000));
    WriteLocal("next.txt", "n");
    RunTasks({DiskTask("big.txt", OPER_ADD), DiskTask("next.txt", OPER_ADD)});

    EXPECT_TRUE(Saw(MSG_ERR_SPACE_FULL, 0));
    EXPECT_EQ(CSyncStatus::Get()->GetFlag(MSYNC_FLAG_WAIT30S_SYNC), 1);
    EXPECT_EQ(CSyncStatus::Get()->GetFlag(MSYNC_FLAG_SPACE_FULL), 1);
    EXPECT_EQ(CSyncingTaskArray::Get()->HasTask(), 0);
    const std::vector<SyncFail> fails = Fails();
    ASSERT_EQ(fails.size(), 1u);
    EXPECT_EQ(fails[0].errcode, 9005);
    EXPECT_TRUE(Entry("next.txt").isNull());
}

// Each 30-second tick queues the refused upload again: its entry follows the latest attempt
// instead of a new one being added per attempt, in memory and in the table the client reads.
TEST_F(TransferTest, AnUploadRefusedOnEveryRetryKeepsOneFailEntry) {
    Service().Control("/admin/account", JsonObject({{"user", account}, {"quota", 1000}}));
    WriteLocal("big.txt", PatternContent(5000));
    int lastKey = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        // As the tick does before its comparison queues the upload again.
        CSyncStatus::Get()->SetFlag(MSYNC_FLAG_WAIT30S_SYNC, false);
        RunTasks({DiskTask("big.txt", OPER_ADD)});
        const std::vector<SyncFail> fails = Fails();
        ASSERT_EQ(fails.size(), 1u) << "attempt " << attempt;
        EXPECT_EQ(fails[0].errcode, 9005);
        EXPECT_GT(fails[0].iFailAutoKey, lastKey);
        lastKey = fails[0].iFailAutoKey;
    }
    Service().AddFault("/ent/file/upload/new/verify", "code", JsonObject({{"code", 3}}));
    CSyncStatus::Get()->SetFlag(MSYNC_FLAG_WAIT30S_SYNC, false);
    RunTasks({DiskTask("big.txt", OPER_ADD)});

    CSyncFail table;
    std::vector<SyncFail> stored;
    ASSERT_EQ(table.ConnectDB(), 0);
    ASSERT_EQ(table.GetFailArr(stored), 0);
    table.Disconnect();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].errcode, 9003) << "the latest reason";
    EXPECT_GT(stored[0].iFailAutoKey, lastKey);
    ASSERT_EQ(Fails().size(), 1u);
    EXPECT_EQ(Fails()[0].iFailAutoKey, stored[0].iFailAutoKey);
}

TEST_F(TransferTest, FileOverFourGigabytesIsReported) {
    Service().AddFault("/ent/file/upload/new/verify", "code", JsonObject({{"code", 3}}));
    WriteLocal("huge.bin", "pretend");
    const TComand task = RunTasks({DiskTask("huge.bin", OPER_ADD)})[0];

    EXPECT_TRUE(Saw(MSG_ERR_FILE4G, 0));
    EXPECT_TRUE(Saw(MSG_TASK_FAILED, static_cast<plat::WPARAM>(task.iIdKey)));
    ASSERT_EQ(Fails().size(), 1u);
    EXPECT_EQ(Fails()[0].errcode, 9003);
    EXPECT_EQ(CSyncStatus::Get()->GetFlag(MSYNC_FLAG_WAIT30S_SYNC), 0);
}

TEST_F(TransferTest, RefusedDownloadDropsItsPartialFileOnly) {
    Service().PutFile(account, "r.txt", "service content");
    TComand task = ServiceTask("r.txt", OPER_ADD);
    Service().Control("/admin/fs/delete", JsonObject({{"user", account}, {"path", "r.txt"}}));
    WriteLocal("r.txt", "the user's older version");
    const std::filesystem::path partial =
        syncDir / WstringToString(CDownLoad::PartialPath(task.tSyncFile)).substr(2);
    testing_support::WriteWholeFile(partial, "servi");
    RunTasks({task});

    EXPECT_FALSE(std::filesystem::exists(partial));
    EXPECT_EQ(ReadWholeFile(Local("r.txt")), "the user's older version");
    ASSERT_EQ(Fails().size(), 1u);
    EXPECT_EQ(Fails()[0].errcode, 8002);
}

TEST_F(TransferTest, RenameOfAMissingFileDropsItsRow) {
    TComand task = ServiceTask("lost.txt", OPER_RENAME);
    task.tSyncFile.iId = 31;
    task.tSyncFile.iType = 1;
    ASSERT_EQ(CTSyncFileArray::Get()->Add(task.tSyncFile), 0);
    task.tSyncFile.dataExtension.dataReName.wstrOldName =
        StringToWstring(Local("lost.txt").string());
    task.tSyncFile.dataExtension.dataReName.wstrNewName =
        StringToWstring(Local("found.txt").string());
    RunTasks({task});

    ASSERT_EQ(Fails().size(), 1u);
    EXPECT_EQ(Fails()[0].errcode, 1002);
    EXPECT_FALSE(CTSyncFileArray::Get()->Find(31));
}

// A file renamed and changed on the service comes down as the deletion of its old name and the
// download of its new one. When the old name cannot go to the trash, the row stays under it and
// the download waits: moved to the new name, the row would leave the old file unknown, and the
// next comparison would upload it again. The pair succeeds once the trash takes the file.
TEST_F(TransferTest, AFailedDeletionOfTheOldNameHoldsTheDownloadOfTheNewOne) {
    Service().PutFile(account, "new.txt", "second version");
    const TComand download = ServiceTask("new.txt", OPER_ADD);
    const int id = download.tSyncFile.iId;
    WriteLocal("old.txt", "first version");
    ASSERT_EQ(CTSyncFileArray::Get()->Add(RecordOf("old.txt", id)), 0);
    TComand deletion = ServiceTask("old.txt", OPER_DELETE);
    deletion.tSyncFile.iId = id;
    deletion.tSyncFile.iType = 1;
    const std::filesystem::path trash = testing_support::TrashHome::Trash();
    std::filesystem::remove_all(trash);
    std::filesystem::create_directories(trash.parent_path());
    // A file where the trash folder should be: GLib can make no trash, whoever runs the test.
    testing_support::WriteWholeFile(trash, "in the way");
    RunTasks({deletion, download});
    std::filesystem::remove(trash);

    EXPECT_EQ(ReadWholeFile(Local("old.txt")), "first version");
    EXPECT_FALSE(std::filesystem::exists(Local("new.txt")));
    EXPECT_FALSE(std::filesystem::exists(
        syncDir / WstringToString(CDownLoad::PartialPath(download.tSyncFile)).substr(2)));
    TSyncFile row;
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(id, row));
    EXPECT_EQ(row.strRelativePath, L".\\old.txt");
    EXPECT_EQ(Fails().size(), 2u);

    RunTasks({deletion, download});

    EXPECT_FALSE(std::filesystem::exists(Local("old.txt")));
    EXPECT_EQ(ReadWholeFile(trash / "files" / "old.txt"), "first version");
    EXPECT_EQ(ReadWholeFile(Local("new.txt")), "second version");
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(id, row));
    EXPECT_EQ(row.strRelativePath, L".\\new.txt");
    EXPECT_TRUE(Fails().empty());
}

TEST_F(TransferTest, TransportErrorsAreRetriedAfterAGrowingDelay) {
    ManualClock clock;
    Service().AddFault("/ent/file/mkdir", "drop", JsonObject({{"count", 2}}));
    std::filesystem::create_directories(Local("retry"));
    Queue({DiskTask("retry", OPER_ADD, 0)});

    ManualClock::AdvanceWhenWaiting(1, std::chrono::seconds(1));
    ASSERT_TRUE(plat::Clock::WaitForTimedWaiters(1));
    EXPECT_EQ(CountRequests(Service(), "/ent/file/mkdir"), 2);
    // The second delay is two seconds: one more second is not enough.
    plat::Clock::Advance(std::chrono::seconds(1));
    EXPECT_EQ(CountRequests(Service(), "/ent/file/mkdir"), 2);
    plat::Clock::Advance(std::chrono::seconds(1));
    WaitForMessage(MSG_SYNC_COMPLETE_ALL);

    EXPECT_EQ(CountRequests(Service(), "/ent/file/mkdir"), 3);
    EXPECT_FALSE(Entry("retry").isNull());
    EXPECT_TRUE(Fails().empty());
}

// The resume alone runs the kept task: no producer gives another work signal (the engine's
// task builder may still be waiting for this queue to drain, from before a pause too short for
// it to notice).
TEST_F(TransferTest, PauseCutsTheRetryDelayAndTheResumeRunsTheKeptTask) {
    ManualClock clock;
    Service().AddFault("/ent/file/mkdir", "drop", JsonObject({{"count", 100}}));
    std::filesystem::create_directories(Local("paused"));
    Queue({DiskTask("paused", OPER_ADD, 0)});
    ASSERT_TRUE(plat::Clock::WaitForTimedWaiters(1));

    plat::PostThreadMessage(manager->GetThreadId(), MSG_SETTING_PAUSESYNC, 0, 0);
    WaitForMessage(MSG_SYNC_COMPLETE_ALL);
    EXPECT_EQ(CSyncingTaskArray::Get()->HasTask(), 1);
    EXPECT_TRUE(Fails().empty());
    EXPECT_TRUE(CompletedRows().empty());

    Service().Control("/admin/faults/clear", Json::objectValue);
    plat::PostThreadMessage(manager->GetThreadId(), MSG_SETTING_RESUMESYNC, 0, 0);
    ASSERT_TRUE(WaitUntil([] { return CSyncingTaskArray::Get()->HasTask() == 0; }));
    WaitForMessage(MSG_SYNC_COMPLETE_ALL);
    EXPECT_FALSE(Entry("paused").isNull());
}

TEST_F(TransferTest, TheEndRequestCutsTheRetryDelayAndKeepsTheTask) {
    ManualClock clock;
    Service().AddFault("/ent/file/mkdir", "drop", JsonObject({{"count", 100}}));
    std::filesystem::create_directories(Local("ending"));
    Queue({DiskTask("ending", OPER_ADD, 0)});
    ASSERT_TRUE(plat::Clock::WaitForTimedWaiters(1));

    manager.reset();
    EXPECT_EQ(CSyncingTaskArray::Get()->HasTask(), 1);
    EXPECT_TRUE(Fails().empty());
    manager = std::make_unique<CTransferManager>();
}

TEST_F(TransferTest, UploadCutByTheServiceResumesFromItsBreakPoint) {
    ManualClock clock;
    const std::string content = PatternContent(1 << 20, 5);
    WriteLocal("cut.bin", content);
    Service().AddFault("/ent/file/upload/put", "cut", JsonObject({{"bytes", 300000}}));
    Queue({DiskTask("cut.bin", OPER_ADD)});

    ManualClock::AdvanceWhenWaiting(1, std::chrono::seconds(1));
    WaitForMessage(MSG_SYNC_COMPLETE_ALL);

    EXPECT_EQ(Service().ReadFile(account, "cut.bin"), content);
    EXPECT_EQ(CountEntries("cut.bin"), 1);
    EXPECT_EQ(CountRequests(Service(), "/ent/file/upload/new/verify"), 1);
    EXPECT_EQ(Service().LastRequest("/ent/file/upload/put").Header("Range"),
              "bytes=300000-1048576");
    EXPECT_EQ(CompletedRows().size(), 1u);
}

// The service made the entry, but the reading of its details failed, and the user deleted the
// file before the retry. The retry only reads the details, so the entry gets its row: sent
// again, the missing file would fail the task and leave the entry without a row, and the next
// comparison would take it for another device's and bring the deleted file back.
TEST_F(TransferTest, AnUploadTheServiceTookGetsItsRowThoughTheFileIsGoneBeforeTheRetry) {
    struct Row {
        const char* why;
        bool bHeld;  // the service holds the content already: the check makes the entry
    };
    const std::vector<Row> rows = {{"sent and committed", false},
                                   {"content the service held", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        ManualClock clock;
        const std::string name = row.bHeld ? "held.txt" : "sent.txt";
        if (row.bHeld) {
            Service().PutFile(account, "elsewhere.txt", "the same content");
        }
        WriteLocal(name, "the same content");
        Service().ClearRequests();
        Service().AddFault("/ent/file/info", "drop", JsonObject({{"count", 1}}));
        Queue({DiskTask(name, OPER_ADD)});
        ASSERT_TRUE(plat::Clock::WaitForTimedWaiters(1));
        std::filesystem::remove(Local(name));
        // As the resume after a loss of the service does: only a task with a break point stays.
        CSyncingTaskArray::Get()->Clear();
        EXPECT_EQ(CSyncingTaskArray::Get()->HasTask(), 1);

        plat::Clock::Advance(std::chrono::seconds(1));
        WaitForMessage(MSG_SYNC_COMPLETE_ALL);
        const Json::Value entry = Entry(name);
        ASSERT_FALSE(entry.isNull());
        TSyncFile stored;
        ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(entry["fid"].asInt(), stored));
        EXPECT_EQ(stored.strRelativePath, RelativeOf(name));
        EXPECT_EQ(stored.strServerTime, entry["fmodify"].asString());
        EXPECT_TRUE(stored.dataExtension.dataBreakPoint.strTempName.empty());
        EXPECT_EQ(CountRequests(Service(), "/ent/file/upload/new/verify"), 1);
        EXPECT_EQ(CountRequests(Service(), "/ent/file/info"), 2);
        EXPECT_TRUE(Fails().empty());
        EXPECT_EQ(CSyncingTaskArray::Get()->HasTask(), 0);
    }
}

TEST_F(TransferTest, DownloadCutByTheServiceNeverStandsAtTheRealName) {
    ManualClock clock;
    const std::string content = PatternContent(1 << 20, 6);
    Service().PutFile(account, "part.bin", content);
    Service().AddFault("/ent/file/download", "cut", JsonObject({{"bytes", 400000}}));
    const TComand task = Queue({ServiceTask("part.bin", OPER_ADD)})[0];
    ASSERT_TRUE(plat::Clock::WaitForTimedWaiters(1));

    const std::filesystem::path partial =
        syncDir / WstringToString(CDownLoad::PartialPath(task.tSyncFile)).substr(2);
    EXPECT_FALSE(std::filesystem::exists(Local("part.bin")));
    EXPECT_EQ(std::filesystem::file_size(partial), 400000u);
    TComand stored;
    ASSERT_EQ(CSyncingTaskArray::Get()->GetTask(stored), 1);
    EXPECT_EQ(stored.tSyncFile.dataExtension.dataBreakPoint.strTempName, "download");

    plat::Clock::Advance(std::chrono::seconds(1));
    WaitForMessage(MSG_SYNC_COMPLETE_ALL);
    EXPECT_EQ(ReadWholeFile(Local("part.bin")), content);
    EXPECT_FALSE(std::filesystem::exists(partial));
    EXPECT_NE(Service().LastRequest("/ent/file/download").strTarget.find("&fskip=400000"),
              std::string::npos);
}

TEST_F(TransferTest, PauseHoldsATransferAndResumeFinishesIt) {
    const std::string content = PatternContent(2 << 20, 7);
    Service().PutFile(account, "held.bin", content);
    CHttpCommBase::SetMaxDownloadSpeed(512);
    const TComand task = Queue({ServiceTask("held.bin", OPER_ADD)})[0];
    const std::filesystem::path partial =
        syncDir / WstringToString(CDownLoad::PartialPath(task.tSyncFile)).substr(2);
    ASSERT_TRUE(WaitUntil([&] {
        std::error_code ec;
        return std::filesystem::file_size(partial, ec) >= (512u << 10) && !ec;
    }));

    plat::PostThreadMessage(manager->GetThreadId(), MSG_SETTING_PAUSESYNC, 0, 0);
    ASSERT_TRUE(WaitUntil([this] { return manager->Worker()->IsPaused(); }));
    EXPECT_EQ(CSyncingTaskArray::Get()->HasTask(), 1);
    EXPECT_TRUE(CompletedRows().empty());
    EXPECT_FALSE(std::filesystem::exists(Local("held.bin")));

    plat::PostThreadMessage(manager->GetThreadId(), MSG_SETTING_RESUMESYNC, 0, 0);
    WaitForMessage(MSG_SYNC_COMPLETE_ALL);
    EXPECT_EQ(ReadWholeFile(Local("held.bin")), content);
    EXPECT_EQ(CSyncingTaskArray::Get()->HasTask(), 0);
    EXPECT_EQ(CompletedRows().size(), 1u);
    EXPECT_TRUE(Saw(MSG_TASK_COMPLETED, static_cast<plat::WPARAM>(task.iIdKey)));
}

}  // namespace
}  // namespace transfer_test
