// Each kind of task through the worker against the reference service: what ends up on the
// service, on disk, in the file table, in the completed list, and which messages reach the UI
// thread and the engine.

#include "transfer/tests/TransferFixture.h"

#include "platform/FileSystem.h"
#include "transfer/DownLoad.h"

namespace transfer_test {
namespace {

using testing_support::ReadWholeFile;

// Names in the folder that a partial download would use.
bool HasPartialFiles(const std::filesystem::path& folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec)) {
        if (entry.path().filename().string().rfind(".corvena-", 0) == 0) {
            return true;
        }
    }
    return false;
}

TEST_F(TransferTest, UploadSendsTheFileAndRecordsIt) {
    const std::string content = PatternContent(300000);
    WriteLocal("a.txt", content);
    const TComand task = RunTasks({DiskTask("a.txt", OPER_ADD)})[0];

    const Json::Value entry = Entry("a.txt");
    ASSERT_FALSE(entry.isNull());
    EXPECT_EQ(Service().ReadFile(account, "a.txt"), content);
    TSyncFile row;
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(L".\\a.txt", row));
    EXPECT_EQ(row.iId, entry["fid"].asInt());
    EXPECT_EQ(row.iPId, 0);
    EXPECT_EQ(row.strMD5, entry["md5"].asString());
    EXPECT_EQ(row.strFileSize, "300000");
    EXPECT_FALSE(row.strServerTime.empty());
    EXPECT_TRUE(row.dataExtension.dataBreakPoint.strTempName.empty());

    const std::vector<SyncCompleted> completed = CompletedRows();
    ASSERT_EQ(completed.size(), 1u);
    EXPECT_EQ(completed[0].tComand.iIdKey, task.iIdKey);
    EXPECT_TRUE(Saw(MSG_TASK_COMPLETED, static_cast<plat::WPARAM>(task.iIdKey)));
    EXPECT_EQ(CSyncStatus::Get()->GetStatus(), MSYNC_STATE_SYNCED);
    EXPECT_EQ(CSyncingTaskArray::Get()->HasTask(), 0);
    EXPECT_TRUE(Fails().empty());
}

TEST_F(TransferTest, UploadOfContentTheServiceHoldsTakesTheEntryWithoutSendingData) {
    const std::string content = PatternContent(5000);
    WriteLocal("copy.txt", content);
    Service().PutFile(account, "copy.txt", content);
    RunTasks({DiskTask("copy.txt", OPER_ADD)});

    EXPECT_EQ(CountEntries("copy.txt"), 1);
    TSyncFile row;
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(L".\\copy.txt", row));
    EXPECT_EQ(row.iId, Entry("copy.txt")["fid"].asInt());
    for (const auto& request : Service().Requests()) {
        EXPECT_EQ(request.strTarget.find("/upload/put"), std::string::npos);
    }
}

TEST_F(TransferTest, UploadIntoAFolderTheTableDoesNotKnowFails) {
    WriteLocal("unknown/a.txt", "x");
    const TComand task = RunTasks({DiskTask("unknown/a.txt", OPER_ADD)})[0];

    const std::vector<SyncFail> fails = Fails();
    ASSERT_EQ(fails.size(), 1u);
    EXPECT_EQ(fails[0].errcode, 7000);
    EXPECT_TRUE(Saw(MSG_TASK_FAILED, static_cast<plat::WPARAM>(task.iIdKey)));
    EXPECT_TRUE(Entry("unknown/a.txt").isNull());
}

TEST_F(TransferTest, DownloadPutsTheCompleteFileInPlace) {
    const std::string content = PatternContent(700000, 3);
    Service().MakeFolder(account, "docs");
    Service().PutFile(account, "docs/d.bin", content);
    std::filesystem::create_directories(Local("docs"));
    const TComand task = RunTasks({ServiceTask("docs/d.bin", OPER_ADD)})[0];

    EXPECT_EQ(ReadWholeFile(Local("docs/d.bin")), content);
    EXPECT_FALSE(HasPartialFiles(syncDir));
    TSyncFile row;
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(L".\\docs\\d.bin", row));
    EXPECT_EQ(row.iId, Entry("docs/d.bin")["fid"].asInt());
    EXPECT_EQ(row.strModifyTime, GetFileModifyTime(StringToWstring(Local("docs/d.bin").string())));
    EXPECT_EQ(CompletedRows().size(), 1u);
    EXPECT_TRUE(Saw(MSG_TASK_COMPLETED, static_cast<plat::WPARAM>(task.iIdKey)));
}

TEST_F(TransferTest, DownloadOfNewContentReplacesTheFileAndItsRow) {
    WriteLocal("n.txt", "old content");
    Service().PutFile(account, "n.txt", "first");
    RunTasks({ServiceTask("n.txt", OPER_ADD)});
    Service().PutFile(account, "n.txt", "second version");
    RunTasks({ServiceTask("n.txt", OPER_ADD)});

    EXPECT_EQ(ReadWholeFile(Local("n.txt")), "second version");
    std::vector<TSyncFile> rows;
    CTSyncFileArray::Get()->GetSyncFile(std::wstring(L"n.txt"), rows);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].strMD5, Entry("n.txt")["md5"].asString());
}

TEST_F(TransferTest, DownloadThatDoesNotMatchTheListingLeavesNothingBehind) {
    Service().PutFile(account, "m.txt", "content");
    TComand task = ServiceTask("m.txt", OPER_ADD);
    task.tSyncFile.strMD5 = "00000000000000000000000000000000";
    RunTasks({task});

    EXPECT_FALSE(std::filesystem::exists(Local("m.txt")));
    EXPECT_FALSE(HasPartialFiles(syncDir));
    const std::vector<SyncFail> fails = Fails();
    ASSERT_EQ(fails.size(), 1u);
    EXPECT_EQ(fails[0].errcode, 7001);
}

TEST_F(TransferTest, FolderCreationOnTheService) {
    std::filesystem::create_directories(Local("made"));
    RunTasks({DiskTask("made", OPER_ADD, 0)});

    const Json::Value entry = Entry("made");
    ASSERT_FALSE(entry.isNull());
    EXPECT_TRUE(entry["isdir"].asBool());
    TSyncFile row;
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(L".\\made", row));
    EXPECT_EQ(row.iId, entry["fid"].asInt());
    EXPECT_EQ(row.iType, 0);
}

TEST_F(TransferTest, DeletionOnTheService) {
    Service().PutFile(account, "gone.txt", "x");
    TComand task = ServiceTask("gone.txt", OPER_DELETE);
    task.iType = 1;
    ASSERT_EQ(CTSyncFileArray::Get()->Add(task.tSyncFile), 0);
    RunTasks({task});

    EXPECT_TRUE(Entry("gone.txt").isNull());
    EXPECT_FALSE(CTSyncFileArray::Get()->Find(task.tSyncFile.iId));
    EXPECT_EQ(CompletedRows().size(), 1u);
}

TEST_F(TransferTest, FolderRenameOnTheServiceRewritesTheRowsBelowIt) {
    Service().MakeFolder(account, "old");
    Service().PutFile(account, "old/inner.txt", "x");
    TComand folder = ServiceTask("old", OPER_RENAME);
    TComand inner = ServiceTask("old/inner.txt", OPER_ADD);
    ASSERT_EQ(CTSyncFileArray::Get()->Add(folder.tSyncFile), 0);
    ASSERT_EQ(CTSyncFileArray::Get()->Add(inner.tSyncFile), 0);
    folder.iType = 1;
    folder.tSyncFile.dataExtension.eType = 2;
    folder.tSyncFile.dataExtension.dataReName.wstrOldName = L"old";
    folder.tSyncFile.dataExtension.dataReName.wstrNewName = L"new";
    RunTasks({folder});

    EXPECT_FALSE(Entry("new/inner.txt").isNull());
    EXPECT_TRUE(Entry("old").isNull());
    TSyncFile row;
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(folder.tSyncFile.iId, row));
    EXPECT_EQ(row.strRelativePath, L".\\new");
    EXPECT_EQ(row.strName, L"new");
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(inner.tSyncFile.iId, row));
    EXPECT_EQ(row.strRelativePath, L".\\new\\inner.txt");
}

TEST_F(TransferTest, FolderCreationOnDisk) {
    const TComand task = RunTasks({ServiceTask("deep/er", OPER_ADD)})[0];

    EXPECT_TRUE(std::filesystem::is_directory(Local("deep/er")));
    EXPECT_TRUE(CTSyncFileArray::Get()->Find(task.tSyncFile.strRelativePath));
}

TEST_F(TransferTest, DeletionOnDiskGoesToTheTrash) {
    WriteLocal("bin/keep.txt", "precious");
    TComand task = ServiceTask("bin", OPER_DELETE);
    task.tSyncFile.iId = 77;
    task.tSyncFile.iType = 0;
    ASSERT_EQ(CTSyncFileArray::Get()->Add(task.tSyncFile), 0);
    RunTasks({task});

    EXPECT_FALSE(std::filesystem::exists(Local("bin")));
    EXPECT_FALSE(CTSyncFileArray::Get()->Find(77));
    bool trashed = false;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(
             testing_support::TrashHome::Trash() / "files", ec)) {
        trashed = trashed || (entry.path().filename() == "keep.txt" &&
                              ReadWholeFile(entry.path()) == "precious");
    }
    EXPECT_TRUE(trashed);
}

TEST_F(TransferTest, DeletionOnDiskOfAnItemAlreadyGoneSucceeds) {
    TComand task = ServiceTask("never", OPER_DELETE);
    task.tSyncFile.iType = 0;
    RunTasks({task});
    EXPECT_TRUE(Fails().empty());
    EXPECT_EQ(CompletedRows().size(), 1u);
}

TEST_F(TransferTest, FolderRenameOnDiskRewritesTheRowsBelowIt) {
    WriteLocal("from/f.txt", "x");
    TComand folder = ServiceTask("from", OPER_RENAME);
    folder.tSyncFile.iId = 11;
    folder.tSyncFile.iType = 0;
    TComand inner = ServiceTask("from/f.txt", OPER_ADD);
    inner.tSyncFile.iId = 12;
    ASSERT_EQ(CTSyncFileArray::Get()->Add(folder.tSyncFile), 0);
    ASSERT_EQ(CTSyncFileArray::Get()->Add(inner.tSyncFile), 0);
    DataReName& names = folder.tSyncFile.dataExtension.dataReName;
    names.wstrOldName = StringToWstring(Local("from").string());
    names.wstrNewName = StringToWstring(Local("to").string());
    RunTasks({folder});

    EXPECT_EQ(ReadWholeFile(Local("to/f.txt")), "x");
    TSyncFile row;
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(11, row));
    EXPECT_EQ(row.strRelativePath, L".\\to");
    EXPECT_EQ(row.strName, L"to");
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(12, row));
    EXPECT_EQ(row.strRelativePath, L".\\to\\f.txt");
}

TEST_F(TransferTest, RenameOnDiskNeverReplacesAnItem) {
    WriteLocal("a.txt", "a");
    WriteLocal("b.txt", "b");
    TComand task = ServiceTask("a.txt", OPER_RENAME);
    task.tSyncFile.dataExtension.dataReName.wstrOldName = StringToWstring(Local("a.txt").string());
    task.tSyncFile.dataExtension.dataReName.wstrNewName = StringToWstring(Local("b.txt").string());
    RunTasks({task});

    EXPECT_EQ(ReadWholeFile(Local("b.txt")), "b");
    EXPECT_EQ(ReadWholeFile(Local("a.txt")), "a");
    ASSERT_EQ(Fails().size(), 1u);
    EXPECT_EQ(Fails()[0].errcode, 1000 + EEXIST);
}

// Paths from the service or a damaged table that would reach outside the sync directory are
// refused; nothing outside it is touched.
TEST_F(TransferTest, LocalChangesStayInsideTheSyncDirectory) {
    const std::filesystem::path outside = home.path() / "outside.txt";
    testing_support::WriteWholeFile(outside, "keep");
    const std::wstring outsideWide = StringToWstring(outside.string());
    WriteLocal("in.txt", "in");
    const std::wstring inside = StringToWstring(Local("in.txt").string());

    auto localTask = [](int oper, int fileType, const std::wstring& relative) {
        TComand task;
        task.iType = 0;
        task.iOper = oper;
        task.tSyncFile.iType = fileType;
        task.tSyncFile.iId = 5;
        task.tSyncFile.strRelativePath = relative;
        return task;
    };
    auto renameTask = [&](const std::wstring& from, const std::wstring& to) {
        TComand task = localTask(OPER_RENAME, 1, L".\\in.txt");
        task.tSyncFile.dataExtension.dataReName.wstrOldName = from;
        task.tSyncFile.dataExtension.dataReName.wstrNewName = to;
        return task;
    };
    const std::vector<TComand> tasks = {
        localTask(OPER_DELETE, 1, L".\\..\\outside.txt"),
        localTask(OPER_DELETE, 0, L".\\"),
        localTask(OPER_DELETE, 0, L"."),
        localTask(OPER_DELETE, 1, L".\\a/../../outside.txt"),
        localTask(OPER_ADD, 0, L".\\x\\..\\..\\made"),
        localTask(OPER_ADD, 1, L".\\..\\outside.txt"),
        renameTask(inside, outsideWide + L"2"),
        renameTask(outsideWide, inside + L"2"),
        renameTask(inside, StringToWstring(syncDir.string()) + L"/../escaped"),
    };
    RunTasks(tasks);

    EXPECT_EQ(ReadWholeFile(outside), "keep");
    EXPECT_EQ(ReadWholeFile(Local("in.txt")), "in");
    EXPECT_FALSE(std::filesystem::exists(home.path() / "made"));
    EXPECT_FALSE(std::filesystem::exists(home.path() / "escaped"));
    const std::vector<SyncFail> fails = Fails();
    ASSERT_EQ(fails.size(), tasks.size());
    for (const SyncFail& fail : fails) {
        SCOPED_TRACE(WstringToString(fail.tComand.tSyncFile.strRelativePath));
        EXPECT_EQ(fail.errcode, 1001);
    }
}

TEST_F(TransferTest, AQueueIsDrainedInOneWakeUp) {
    WriteLocal("one.txt", "1");
    WriteLocal("two.txt", "22");
    std::filesystem::create_directories(Local("three"));
    const std::vector<TComand> tasks =
        RunTasks({DiskTask("one.txt", OPER_ADD), DiskTask("two.txt", OPER_ADD),
                  DiskTask("three", OPER_ADD, 0)});

    EXPECT_EQ(CSyncingTaskArray::Get()->HasTask(), 0);
    EXPECT_EQ(CompletedRows().size(), 3u);
    for (const TComand& task : tasks) {
        EXPECT_TRUE(Saw(MSG_TASK_COMPLETED, static_cast<plat::WPARAM>(task.iIdKey)));
    }
    EXPECT_EQ(CSyncStatus::Get()->GetStatus(), MSYNC_STATE_SYNCED);
    EXPECT_FALSE(Entry("one.txt").isNull());
    EXPECT_FALSE(Entry("two.txt").isNull());
    EXPECT_FALSE(Entry("three").isNull());
}

TEST_F(TransferTest, WaitingForTheOfflineSyncStartsNoTransfer) {
    CSyncStatus::Get()->SetFlag(MSYNC_FLAG_WAIT30S_SYNC, true);
    WriteLocal("w.txt", "w");
    Queue({DiskTask("w.txt", OPER_ADD)});
    ASSERT_TRUE(WaitUntil([this] {
        return testing_support::LogText(home.path())
                   .find("WorkTransfer::DoSync() return pause = (0) flag = (a)") !=
               std::string::npos;
    }));
    EXPECT_EQ(CSyncingTaskArray::Get()->HasTask(), 1);
    EXPECT_TRUE(Entry("w.txt").isNull());

    CSyncStatus::Get()->SetFlag(MSYNC_FLAG_WAIT30S_SYNC, false);
    CSyncingTaskArray::Get()->Release(1);
    WaitForMessage(MSG_SYNC_COMPLETE_ALL);
    EXPECT_FALSE(Entry("w.txt").isNull());
}

TEST_F(TransferTest, ManagerReportsTheSessionsSpeeds) {
    Service().PutFile(account, "s.bin", PatternContent(200000));
    RunTasks({ServiceTask("s.bin", OPER_ADD)});
    EXPECT_EQ(manager->GetSpeed(false), 200000);
    EXPECT_GT(manager->GetMeanSpeed(false), 0);
}

}  // namespace
}  // namespace transfer_test
