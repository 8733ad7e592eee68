// Each kind of task through the worker against the reference service: what ends up on the
// service, on disk, in the file table, in the completed list, and which messages reach the UI
// thread and the engine.

#include "transfer/tests/TransferFixture.h"

#include <functional>
#include <map>
#include <set>

#include "platform/FileSystem.h"
#include "store/SyncTemporary.h"
#include "testing/ManualClock.h"
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

std::set<std::string> FolderNames(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Every item below the folder (links not followed) with its content, "<folder>" or the link's
// target.
std::map<std::string, std::string> TreeOf(const std::filesystem::path& folder) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().lexically_relative(folder).string();
        if (entry.is_symlink()) {
            tree[name] = "-> " + std::filesystem::read_symlink(entry.path()).string();
        } else if (entry.is_directory()) {
            tree[name] = "<folder>";
        } else {
            tree[name] = ReadWholeFile(entry.path());
        }
    }
    return tree;
}

// Whether an item of that name with that content lies in the trash.
bool InTrash(const std::string& name, const std::string& content) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(
             testing_support::TrashHome::Trash() / "files", ec)) {
        if (entry.path().filename() == name && ReadWholeFile(entry.path()) == content) {
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

    // The folder stays unknown (the name filter drops x.tmp, say): every comparison queues the
    // file again, and its entry follows the latest attempt.
    const TComand again = RunTasks({DiskTask("unknown/a.txt", OPER_ADD)})[0];
    ASSERT_EQ(Fails().size(), 1u);
    EXPECT_GT(Fails()[0].iFailAutoKey, fails[0].iFailAutoKey);
    EXPECT_EQ(Fails()[0].tComand.iIdKey, again.iIdKey);
}

// A queue may hold an item before the creation of its new folder on the service (the changes of
// one moment can arrive in any order): the item waits behind that creation, with no failure.
TEST_F(TransferTest, AnItemQueuedBeforeItsNewFolderWaitsForIt) {
    WriteLocal("new/inner/a.txt", "a");
    WriteLocal("new/b.txt", "b");
    RunTasks({DiskTask("new/inner/a.txt", OPER_ADD), DiskTask("new/inner", OPER_ADD, 0),
              DiskTask("new/b.txt", OPER_ADD), DiskTask("new", OPER_ADD, 0)});

    EXPECT_TRUE(Fails().empty()) << Fails().front().errcode;
    EXPECT_EQ(Service().ReadFile(account, "new/inner/a.txt"), "a");
    EXPECT_EQ(Service().ReadFile(account, "new/b.txt"), "b");
    for (const char* path : {"new", "new/inner", "new/inner/a.txt", "new/b.txt"}) {
        SCOPED_TRACE(path);
        TSyncFile row;
        ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(RelativeOf(path), row));
        EXPECT_EQ(row.iId, Entry(path)["fid"].asInt());
    }
    EXPECT_EQ(CSyncingTaskArray::Get()->HasTask(), 0);
}

// Notifications were lost (the kernel's queue overflowed): an item's notification came, its new
// folder's did not. The disk-caused comparison that is due finds both; until then the item
// neither fails nor goes up into the wrong folder.
TEST_F(TransferTest, AnItemWhoseFolderWasNotNotifiedIsLeftToTheComparisonDue) {
    CSyncStatus::Get()->SetFlag(MSYNC_FLAG_DISKCAUSE_SYNC, true);
    WriteLocal("unseen/a.txt", "x");
    WriteLocal("seen.txt", "y");
    const TComand task =
        RunTasks({DiskTask("unseen/a.txt", OPER_ADD), DiskTask("seen.txt", OPER_ADD)})[0];

    EXPECT_TRUE(Fails().empty());
    EXPECT_FALSE(Saw(MSG_TASK_FAILED, static_cast<plat::WPARAM>(task.iIdKey)));
    EXPECT_TRUE(Entry("unseen").isNull());
    EXPECT_TRUE(Entry("unseen/a.txt").isNull());
    EXPECT_EQ(Service().ReadFile(account, "seen.txt"), "y");
    EXPECT_EQ(CSyncingTaskArray::Get()->HasTask(), 0);
    EXPECT_EQ(CSyncStatus::Get()->GetFlag(MSYNC_FLAG_DISKCAUSE_SYNC), 1) << "still due";
}

// The fail list is what the user is told could not be synced: once a task of the item has
// succeeded, its earlier failures go, in memory and in store; other items' stay.
TEST_F(TransferTest, ASucceededTaskClearsTheEarlierFailuresOfItsItem) {
    RunTasks({DiskTask("late.txt", OPER_ADD), DiskTask("never.txt", OPER_ADD)});
    ASSERT_EQ(Fails().size(), 2u);
    WriteLocal("late.txt", "here now");
    RunTasks({DiskTask("late.txt", OPER_ADD)});
    EXPECT_EQ(Service().ReadFile(account, "late.txt"), "here now");

    for (bool reloaded : {false, true}) {
        SCOPED_TRACE(reloaded ? "stored" : "in memory");
        if (reloaded) {
            ASSERT_EQ(CSyncFailArray::Get()->ReLoad(), 0);
        }
        const std::vector<SyncFail> fails = Fails();
        ASSERT_EQ(fails.size(), 1u);
        EXPECT_EQ(fails[0].tComand.tSyncFile.strRelativePath, RelativeOf("never.txt"));
    }
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
    EXPECT_EQ(row.dataExtension.dataBreakPoint.strTempName, "")
        << "an upload of a later change would take it for an interrupted one";
    EXPECT_EQ(CompletedRows().size(), 1u);
    EXPECT_TRUE(Saw(MSG_TASK_COMPLETED, static_cast<plat::WPARAM>(task.iIdKey)));
}

// A file at the target that the table does not record is the user's: it survives under the
// backup name. Once the download is recorded, the next version of the service replaces it.
TEST_F(TransferTest, DownloadReplacesOnlyTheVersionLastSynchronised) {
    testing_support::ManualClock clock;
    plat::Clock::SetWallTime(1409706303);
    const std::filesystem::path copy = syncDir / WstringToString(BackupName(L"n.txt"));
    WriteLocal("n.txt", "old content");
    Service().PutFile(account, "n.txt", "first");
    RunTasks({ServiceTask("n.txt", OPER_ADD)});
    EXPECT_EQ(ReadWholeFile(Local("n.txt")), "first");
    EXPECT_EQ(ReadWholeFile(copy), "old content");

    Service().PutFile(account, "n.txt", "second version");
    RunTasks({ServiceTask("n.txt", OPER_ADD)});

    EXPECT_EQ(ReadWholeFile(Local("n.txt")), "second version");
    EXPECT_EQ(ReadWholeFile(copy), "old content");
    EXPECT_EQ(FolderNames(syncDir), (std::set<std::string>{"n.txt", copy.filename().string()}));
    std::vector<TSyncFile> rows;
    CTSyncFileArray::Get()->GetSyncFile(std::wstring(L"n.txt"), rows);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].strMD5, Entry("n.txt")["md5"].asString());
    EXPECT_TRUE(Fails().empty());
}

// Whatever stands at a download's target and is neither the recorded, unchanged file nor a file
// with the content coming down is kept under a free backup name; the download takes the name.
TEST_F(TransferTest, AUserFileAtTheDownloadTargetSurvivesAsAConflictCopy) {
    testing_support::ManualClock clock;
    plat::Clock::SetWallTime(1409706303);
    const std::filesystem::path outside = home.path() / "outside.txt";
    testing_support::WriteWholeFile(outside, "outside");
    struct Case {
        const char* why;
        std::string name;
        std::function<void()> prepare;
        std::string keptAs;  // the backup that holds the local item; empty: it was replaced
        std::string kept;    // its content ("<link>" for the link, "<folder>" for a folder)
    };
    auto record = [this](const std::string& name, const std::string& size,
                         const std::string& time) {
        TSyncFile row = RecordOf(name, Entry(name)["fid"].asInt());
        if (!size.empty()) {
            row.strFileSize = size;
        }
        if (!time.empty()) {
            row.strModifyTime = time;
        }
        ASSERT_EQ(CTSyncFileArray::Get()->Add(row), 0);
    };
    auto backup = [](const std::string& name, int attempt) {
        return WstringToString(BackupName(StringToWstring(name), attempt));
    };
    const std::vector<Case> cases = {
        {"a file the table does not record", "u.txt", [&] { WriteLocal("u.txt", "mine"); },
         backup("u.txt", 0), "mine"},
        {"the recorded file, written since (another size)", "s.txt",
         [&] {
             WriteLocal("s.txt", "old");
             record("s.txt", "", "");
             WriteLocal("s.txt", "edited since");
         },
         backup("s.txt", 0), "edited since"},
        {"the recorded size with another modification time", "t.txt",
         [&] {
             WriteLocal("t.txt", "same");
             record("t.txt", "", "2001-01-01 00:00:00");
         },
         backup("t.txt", 0), "same"},
        {"a row without a modification time is in doubt", "d.txt",
         [&] {
             WriteLocal("d.txt", "doubt");
             TSyncFile row = RecordOf("d.txt", Entry("d.txt")["fid"].asInt());
             row.strModifyTime.clear();
             ASSERT_EQ(CTSyncFileArray::Get()->Add(row), 0);
         },
         backup("d.txt", 0), "doubt"},
        {"the backup name is taken: the next free one", "b.txt",
         [&] {
             WriteLocal("b.txt", "second");
             WriteLocal(backup("b.txt", 0), "an earlier copy");
             WriteLocal(backup("b.txt", 1), "another earlier copy");
         },
         backup("b.txt", 2), "second"},
        {"a folder at the target", "f.txt", [&] { WriteLocal("f.txt/inner", "in a folder"); },
         backup("f.txt", 0), "<folder>"},
        {"a link at the target is moved as itself", "l.txt",
         [&] { std::filesystem::create_symlink(outside, Local("l.txt")); }, backup("l.txt", 0),
         "<link>"},
        {"the recorded, unchanged file is replaced", "r.txt",
         [&] {
             WriteLocal("r.txt", "recorded");
             record("r.txt", "", "");
         },
         "", ""},
        {"a file with the very content coming down is no conflict", "c.txt",
         [&] { WriteLocal("c.txt", "service c.txt"); }, "", ""},
    };
    std::vector<TComand> tasks;
    for (const Case& c : cases) {
        Service().PutFile(account, c.name, "service " + c.name);
        c.prepare();
        tasks.push_back(ServiceTask(c.name, OPER_ADD));
    }
    RunTasks(tasks);

    EXPECT_TRUE(Fails().empty());
    EXPECT_EQ(ReadWholeFile(outside), "outside");
    EXPECT_EQ(ReadWholeFile(Local(backup("b.txt", 0))), "an earlier copy");
    EXPECT_EQ(ReadWholeFile(Local(backup("b.txt", 1))), "another earlier copy");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(ReadWholeFile(Local(c.name)), "service " + c.name);
        // The move aside must not come back from the watcher as the user's rename.
        TSyncFile echo;
        echo.strRelativePath = RelativeOf(c.name);
        EXPECT_EQ(CSyncTemporary::Get()->CheckServerSyncFile(echo, OPER_RENAME),
                  c.keptAs.empty() ? 0 : 1);
        if (c.keptAs.empty()) {
            EXPECT_FALSE(std::filesystem::exists(Local(backup(c.name, 0))));
        } else if (c.kept == "<link>") {
            EXPECT_EQ(std::filesystem::read_symlink(Local(c.keptAs)), outside);
        } else if (c.kept == "<folder>") {
            EXPECT_EQ(ReadWholeFile(Local(c.keptAs) / "inner"), "in a folder");
        } else {
            EXPECT_EQ(ReadWholeFile(Local(c.keptAs)), c.kept);
        }
    }
    EXPECT_FALSE(HasPartialFiles(syncDir));
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

// A local deletion reaches the service only for what the service still holds as last
// synchronised: what another device stored meanwhile stays, with the folders that hold it, and
// its row goes so that the next comparison brings it down; what the folder held unchanged
// goes, as it would have with the folder.
TEST_F(TransferTest, DeletionOnTheServiceSparesWhatChangedThere) {
    auto record = [&](const std::string& path) {
        TComand task = ServiceTask(path, OPER_ADD);
        task.tSyncFile.strServerTime = Entry(path)["fmodify"].asString();
        EXPECT_EQ(CTSyncFileArray::Get()->Add(task.tSyncFile), 0);
        return task;
    };
    struct Row {
        const char* why;
        const char* path;
        int type;
        std::function<void()> meanwhile;
        const char* survivor;                // path that must still be on the service, or nullptr
        const char* content = nullptr;       // what the survivor holds
        std::vector<std::string> gone = {};  // paths below a surviving folder that must go
    };
    const std::vector<Row> rows = {
        {"overwritten by another device", "f0.txt", 1,
         [&] { Service().PutFile(account, "f0.txt", "newer"); }, "f0.txt", "newer"},
        {"unchanged since the last synchronisation", "same.txt", 1, [] {}, nullptr},
        {"folder that received an item unknown here",
         "d",
         0,
         [&] { Service().PutFile(account, "d/new.txt", "new"); },
         "d/new.txt",
         "new",
         {"d/in.txt"}},
        {"folder whose known file was overwritten", "e", 0,
         [&] { Service().PutFile(account, "e/in.txt", "newer"); }, "e/in.txt", "newer"},
        {"folder unchanged with its known file", "g", 0, [] {}, nullptr},
        // What the service holds may have come down into the folder made again.
        {"folder made again here before the deletion ran", "h", 0,
         [&] { std::filesystem::create_directories(Local("h")); }, "h/in.txt", "old"},
        {"known subfolders, one of them holding an item unknown here",
         "k",
         0,
         [&] {
             Service().MakeFolder(account, "k/sub");
             record("k/sub");
             Service().PutFile(account, "k/sub/new.txt", "new");
             Service().MakeFolder(account, "k/old");
             record("k/old");
             Service().PutFile(account, "k/old/x.txt", "x");
             record("k/old/x.txt");
         },
         "k/sub/new.txt",
         "new",
         {"k/in.txt", "k/old"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        Service().ClearRequests();
        if (row.type == 0) {
            Service().MakeFolder(account, row.path);
            Service().PutFile(account, std::string(row.path) + "/in.txt", "old");
        } else {
            Service().PutFile(account, row.path, "old");
        }
        TComand task = record(row.path);
        if (row.type == 0) {
            record(std::string(row.path) + "/in.txt");
        }
        row.meanwhile();
        task.iType = 1;
        task.iOper = OPER_DELETE;
        RunTasks({task});

        EXPECT_TRUE(Fails().empty());
        EXPECT_FALSE(CTSyncFileArray::Get()->Find(task.tSyncFile.iId));
        if (row.survivor != nullptr) {
            EXPECT_FALSE(Entry(row.survivor).isNull());
            EXPECT_EQ(Service().ReadFile(account, row.survivor), row.content);
        } else {
            EXPECT_TRUE(Entry(row.path).isNull());
        }
        for (const std::string& path : row.gone) {
            EXPECT_TRUE(Entry(path).isNull()) << path;
        }
    }
}

TEST_F(TransferTest, DeletionOnTheServiceOfAnItemAlreadyGoneSucceeds) {
    for (int type : {1, 0}) {
        SCOPED_TRACE(type == 1 ? "file" : "folder");
        TComand task = DiskTask(type == 1 ? "gone.txt" : "gone", OPER_DELETE, type);
        task.tSyncFile.iId = 987654;
        ASSERT_EQ(CTSyncFileArray::Get()->Add(task.tSyncFile), 0);
        RunTasks({task});
        EXPECT_TRUE(Fails().empty());
        EXPECT_FALSE(CTSyncFileArray::Get()->Find(task.tSyncFile.iId));
    }
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
    ASSERT_EQ(CTSyncFileArray::Get()->Add(RecordOf("bin/keep.txt", 78)), 0);
    RunTasks({task});

    EXPECT_FALSE(std::filesystem::exists(Local("bin")));
    EXPECT_FALSE(CTSyncFileArray::Get()->Find(77));
    EXPECT_FALSE(CTSyncFileArray::Get()->Find(78));
    EXPECT_TRUE(InTrash("keep.txt", "precious"));
}

// A folder deleted on the service takes with it only what was synchronised and is unchanged
// since, and the partial files of downloads; what the service never had stays, with the folders
// that hold it, and without a row, so that the next comparison uploads it.
TEST_F(TransferTest, AFolderDeletedOnTheServiceKeepsWhatTheServiceNeverHad) {
    WriteLocal("proj/old.txt", "synchronised");
    WriteLocal("proj/edited.txt", "as synchronised");
    WriteLocal("proj/sub/deep.txt", "synchronised deep");
    WriteLocal("proj/sub/.corvena-109.part", "a download cut short");
    WriteLocal("proj/hidden/.corvena-x.part", "the user's");
    WriteLocal("proj/keep/fresh.txt", "new in a synchronised folder");
    std::filesystem::create_directories(Local("proj/mine"));
    TComand task = ServiceTask("proj", OPER_DELETE);
    task.tSyncFile = RecordOf("proj", 100);
    int id = 101;
    for (const char* path :
         {"proj/old.txt", "proj/edited.txt", "proj/sub", "proj/sub/deep.txt", "proj/keep"}) {
        ASSERT_EQ(CTSyncFileArray::Get()->Add(RecordOf(path, id++)), 0);
    }
    ASSERT_EQ(CTSyncFileArray::Get()->Add(task.tSyncFile), 0);
    WriteLocal("proj/new.txt", "created after the comparison");
    WriteLocal("proj/edited.txt", "edited after the comparison");
    // A file deleted on the service whose name now holds a folder of the user's.
    WriteLocal("was-file/inside.txt", "the user's folder");
    TComand file = ServiceTask("was-file", OPER_DELETE);
    file.tSyncFile.iType = 1;
    file.tSyncFile.iId = 120;
    RunTasks({task, file});

    EXPECT_TRUE(Fails().empty());
    EXPECT_EQ(TreeOf(Local("proj")), (std::map<std::string, std::string>{
                                         {"new.txt", "created after the comparison"},
                                         {"edited.txt", "edited after the comparison"},
                                         {"keep", "<folder>"},
                                         {"keep/fresh.txt", "new in a synchronised folder"},
                                         {"mine", "<folder>"},
                                         {"hidden", "<folder>"},
                                         {"hidden/.corvena-x.part", "the user's"},
                                     }));
    EXPECT_EQ(ReadWholeFile(Local("was-file/inside.txt")), "the user's folder");
    EXPECT_TRUE(InTrash("old.txt", "synchronised"));
    EXPECT_TRUE(InTrash("deep.txt", "synchronised deep"));
    for (const TSyncFile& row : CTSyncFileArray::Get()->GetSyncFile()) {
        ADD_FAILURE() << "row left: " << WstringToString(row.strRelativePath);
    }
}

// A file the service deleted, or holds in a newer version, goes to the trash only as it was
// synchronised: an edit made after the comparison stays, without its row, so that the next
// comparison uploads it, and a download of the newer version keeps it as a conflict copy.
TEST_F(TransferTest, AFileChangedSinceTheComparisonOutlivesItsDeletionOnDisk) {
    WriteLocal("same.txt", "synchronised");
    WriteLocal("edited.txt", "as synchronised");
    ASSERT_EQ(CTSyncFileArray::Get()->Add(RecordOf("same.txt", 130)), 0);
    ASSERT_EQ(CTSyncFileArray::Get()->Add(RecordOf("edited.txt", 131)), 0);
    WriteLocal("edited.txt", "edited after the comparison");
    auto deletion = [this](const std::string& path, int id) {
        TComand task = ServiceTask(path, OPER_DELETE);
        task.tSyncFile.iType = 1;
        task.tSyncFile.iId = id;
        return task;
    };
    RunTasks({deletion("same.txt", 130), deletion("edited.txt", 131)});

    EXPECT_TRUE(Fails().empty());
    EXPECT_FALSE(std::filesystem::exists(Local("same.txt")));
    EXPECT_TRUE(InTrash("same.txt", "synchronised"));
    EXPECT_EQ(ReadWholeFile(Local("edited.txt")), "edited after the comparison");
    EXPECT_TRUE(CTSyncFileArray::Get()->GetSyncFile().empty());
}

// An item the service never gave an id (a file created and removed again before it
// synchronised) has nothing to delete or rename there.
TEST_F(TransferTest, DeleteOrRenameWithoutAServiceIdSendsNoRequest) {
    TComand removed = DiskTask("ghost.txt", OPER_DELETE);
    TComand folder = DiskTask("ghost", OPER_DELETE, 0);
    TComand renamed = DiskTask("brief.txt", OPER_RENAME);
    renamed.tSyncFile.dataExtension.dataReName.wstrOldName = L"brief.txt";
    renamed.tSyncFile.dataExtension.dataReName.wstrNewName = L"briefer.txt";
    TComand negative = DiskTask("minus.txt", OPER_DELETE);
    negative.tSyncFile.iId = -1;
    const std::vector<TComand> tasks = RunTasks({removed, folder, renamed, negative});

    EXPECT_TRUE(Service().Requests().empty());
    EXPECT_TRUE(Fails().empty());
    EXPECT_EQ(CompletedRows().size(), tasks.size());
    EXPECT_TRUE(CTSyncFileArray::Get()->GetSyncFile().empty());
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

// A file moved out of a folder on the service comes down as the deletion of its old path and
// the download of its new one. When the rename of that folder, from the same comparison, ran
// first, the deletion finds the file where its row now points: under the old path it would
// find nothing, and the file left in the renamed folder would go up again as a new one.
TEST_F(TransferTest, DeletionOnDiskFollowsARenameOfItsFolder) {
    const std::string content = "moved out of its folder";
    Service().PutFile(account, "b.txt", content);
    const TComand download = ServiceTask("b.txt", OPER_ADD);
    const int id = download.tSyncFile.iId;
    WriteLocal("from/b.txt", content);
    TComand folder = ServiceTask("from", OPER_RENAME);
    folder.tSyncFile = RecordOf("from", id + 100);
    ASSERT_EQ(CTSyncFileArray::Get()->Add(folder.tSyncFile), 0);
    ASSERT_EQ(CTSyncFileArray::Get()->Add(RecordOf("from/b.txt", id)), 0);
    DataReName& names = folder.tSyncFile.dataExtension.dataReName;
    names.wstrOldName = StringToWstring(Local("from").string());
    names.wstrNewName = StringToWstring(Local("to").string());
    TComand deletion = ServiceTask("from/b.txt", OPER_DELETE);
    deletion.tSyncFile = RecordOf("from/b.txt", id);
    RunTasks({folder, deletion, download});

    EXPECT_TRUE(Fails().empty());
    EXPECT_TRUE(std::filesystem::is_empty(Local("to")));
    EXPECT_TRUE(InTrash("b.txt", content));
    EXPECT_EQ(ReadWholeFile(Local("b.txt")), content);
    TSyncFile row;
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(id, row));
    EXPECT_EQ(row.strRelativePath, L".\\b.txt");
}

// The service renamed an item onto a name that is taken here. What the table does not record
// is the user's and the service never had it (its upload finds the name taken there): it is
// kept under a backup name, and the item takes the name. A recorded item is left to its own
// task; the rename fails and the next comparison tries it again.
TEST_F(TransferTest, RenameOnDiskNeverReplacesAnItem) {
    testing_support::ManualClock clock;
    plat::Clock::SetWallTime(1409706303);
    struct Case {
        const char* why;
        std::string from;
        std::string to;
        std::function<void()> prepare;  // puts what stands at the new name
        bool bKeptAside;                // else the rename fails and nothing moves
    };
    int id = 70;
    const std::vector<Case> cases = {
        {"a file the user made", "a.txt", "b.txt", [&] { WriteLocal("b.txt", "mine"); }, true},
        {"a folder the user made where a file goes", "c.txt", "d",
         [&] { WriteLocal("d/inner.txt", "mine"); }, true},
        {"a file the user made where a folder goes", "e", "f.txt",
         [&] { WriteLocal("f.txt", "mine"); }, true},
        {"a synchronised file", "g.txt", "h.txt",
         [&] {
             WriteLocal("h.txt", "synchronised");
             ASSERT_EQ(CTSyncFileArray::Get()->Add(RecordOf("h.txt", 90)), 0);
         },
         false},
    };
    std::vector<TComand> tasks;
    for (const Case& c : cases) {
        if (c.from.find('.') == std::string::npos) {
            WriteLocal(c.from + "/inner.txt", "theirs");
        } else {
            WriteLocal(c.from, "theirs");
        }
        c.prepare();
        TComand task = ServiceTask(c.from, OPER_RENAME);
        task.tSyncFile = RecordOf(c.from, id++);
        ASSERT_EQ(CTSyncFileArray::Get()->Add(task.tSyncFile), 0);
        DataReName& names = task.tSyncFile.dataExtension.dataReName;
        names.wstrOldName = StringToWstring(Local(c.from).string());
        names.wstrNewName = StringToWstring(Local(c.to).string());
        tasks.push_back(task);
    }
    RunTasks(tasks);

    std::map<std::wstring, int> failed;
    for (const SyncFail& fail : Fails()) {
        failed[fail.tComand.tSyncFile.strRelativePath] = fail.errcode;
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.why);
        const std::string backup = WstringToString(BackupName(StringToWstring(c.to)));
        // What a file holds, or the file in a folder.
        const auto content = [&](const std::string& at) {
            const std::filesystem::path item = Local(at);
            return ReadWholeFile(std::filesystem::is_directory(item) ? item / "inner.txt" : item);
        };
        TSyncFile row;
        ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(tasks[i].tSyncFile.iId, row));
        TSyncFile echo;
        echo.strRelativePath = RelativeOf(c.to);
        if (c.bKeptAside) {
            EXPECT_EQ(failed.count(RelativeOf(c.from)), 0u);
            EXPECT_EQ(content(c.to), "theirs");
            EXPECT_EQ(content(backup), "mine");
            EXPECT_FALSE(std::filesystem::exists(Local(c.from)));
            EXPECT_EQ(row.strRelativePath, RelativeOf(c.to));
            // The move aside must not come back from the watcher as the user's rename.
            EXPECT_EQ(CSyncTemporary::Get()->CheckServerSyncFile(echo, OPER_RENAME), 1);
        } else {
            EXPECT_EQ(failed[RelativeOf(c.from)], 1000 + EEXIST);
            EXPECT_EQ(content(c.from), "theirs");
            EXPECT_EQ(ReadWholeFile(Local(c.to)), "synchronised");
            EXPECT_FALSE(std::filesystem::exists(Local(backup)));
            EXPECT_EQ(row.strRelativePath, RelativeOf(c.from));
            EXPECT_EQ(CSyncTemporary::Get()->CheckServerSyncFile(echo, OPER_RENAME), 0);
        }
    }
}

// The service renamed a synchronised folder onto the name of a folder the user made since:
// the two merge, and an item whose name the user's folder already holds stays behind and is
// uploaded as new rather than replacing the user's.
TEST_F(TransferTest, AFolderRenamedOnDiskOntoAFolderOfTheUsersMergesWithIt) {
    WriteLocal("from/moved.txt", "moved");
    WriteLocal("from/same.txt", "synchronised");
    WriteLocal("from/sub/a.txt", "a");
    WriteLocal("to/mine.txt", "mine");
    WriteLocal("to/same.txt", "the user's");
    WriteLocal("to/sub/b.txt", "b");
    int id = 40;
    for (const char* path :
         {"from", "from/moved.txt", "from/same.txt", "from/sub", "from/sub/a.txt"}) {
        ASSERT_EQ(CTSyncFileArray::Get()->Add(RecordOf(path, id++)), 0);
    }
    TComand folder = ServiceTask("from", OPER_RENAME);
    folder.tSyncFile = RecordOf("from", 40);
    DataReName& names = folder.tSyncFile.dataExtension.dataReName;
    names.wstrOldName = StringToWstring(Local("from").string());
    names.wstrNewName = StringToWstring(Local("to").string());
    RunTasks({folder});

    ASSERT_TRUE(Fails().empty()) << Fails()[0].errcode;
    const std::map<std::string, std::string> merged = {
        {"mine.txt", "mine"}, {"moved.txt", "moved"}, {"same.txt", "the user's"},
        {"sub", "<folder>"},  {"sub/a.txt", "a"},     {"sub/b.txt", "b"}};
    EXPECT_EQ(TreeOf(Local("to")), merged);
    EXPECT_EQ(TreeOf(Local("from")),
              (std::map<std::string, std::string>{{"same.txt", "synchronised"}}));
    TSyncFile row;
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(40, row));
    EXPECT_EQ(row.strRelativePath, L".\\to");
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(41, row));
    EXPECT_EQ(row.strRelativePath, L".\\to\\moved.txt");
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(44, row));
    EXPECT_EQ(row.strRelativePath, L".\\to\\sub\\a.txt");
    EXPECT_FALSE(CTSyncFileArray::Get()->Find(42)) << "the item left behind goes up as new";
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(43, row));
    EXPECT_EQ(row.strRelativePath, L".\\to\\sub") << "the service's folder, merged into the user's";
}

// A folder's rename runs before the deletions its comparison found below it, which still name
// the old place: the deletion follows the row.
TEST_F(TransferTest, AServiceDeletionFollowsItsRowMovedByAFolderRename) {
    WriteLocal("to/gone.txt", "x");
    ASSERT_EQ(CTSyncFileArray::Get()->Add(RecordOf("to/gone.txt", 50)), 0);
    TComand task = ServiceTask("to/gone.txt", OPER_DELETE);
    task.tSyncFile = RecordOf("to/gone.txt", 50);
    task.tSyncFile.strRelativePath = RelativeOf("from/gone.txt");
    RunTasks({task});

    EXPECT_TRUE(Fails().empty());
    EXPECT_FALSE(std::filesystem::exists(Local("to/gone.txt")));
    EXPECT_TRUE(InTrash("gone.txt", "x"));
    EXPECT_FALSE(CTSyncFileArray::Get()->Find(50));
}

// The service renamed a synchronised folder onto the name of a new local folder before the
// local one went up: the service answers the known folder's id, and the row keeps the place
// the folder has on disk, so the next comparison brings the rename down.
TEST_F(TransferTest, ANewFolderAnsweredWithTheIdOfAKnownFolderLeavesItsRow) {
    WriteLocal("old/in.txt", "in");
    std::filesystem::create_directories(Local("new"));
    const std::int64_t folderId = Service().MakeFolder(account, "old");
    Service().PutFile(account, "old/in.txt", "in");
    TSyncFile folderRow = RecordOf("old", static_cast<int>(folderId));
    TSyncFile innerRow = RecordOf("old/in.txt", Entry("old/in.txt")["fid"].asInt());
    innerRow.iPId = folderRow.iId;
    ASSERT_EQ(CTSyncFileArray::Get()->Add(folderRow), 0);
    ASSERT_EQ(CTSyncFileArray::Get()->Add(innerRow), 0);
    Json::Value rename;
    rename["user"] = account;
    rename["path"] = "old";
    rename["name"] = "new";
    Service().Control("/admin/fs/rename", rename);
    RunTasks({DiskTask("new", OPER_ADD, 0)});

    EXPECT_EQ(Entry("new")["fid"].asInt64(), folderId);
    TSyncFile row;
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(folderRow.iId, row));
    EXPECT_EQ(row.strRelativePath, L".\\old");
    ASSERT_TRUE(CTSyncFileArray::Get()->GetSyncFile(innerRow.iId, row));
    EXPECT_EQ(row.strRelativePath, L".\\old\\in.txt");
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

// A link in the sync directory to a folder outside it, under the name of a folder on the
// service: no task reads, writes, creates, renames or trashes anything through it.
TEST_F(TransferTest, ALinkInTheSyncDirectoryIsNeverFollowed) {
    const std::filesystem::path outside = home.path() / "Documents";
    std::filesystem::create_directories(outside / "inner");
    testing_support::WriteWholeFile(outside / "x.txt", "outside");
    testing_support::WriteWholeFile(outside / "inner" / "y.txt", "outside inner");
    std::filesystem::create_directories(syncDir);
    std::filesystem::create_symlink(outside, Local("docs"));
    WriteLocal("a.txt", "inside");
    Service().MakeFolder(account, "docs/inner");
    Service().MakeFolder(account, "docs/new");
    Service().PutFile(account, "docs/x.txt", "service");
    const std::map<std::string, std::string> before = TreeOf(outside);
    ASSERT_EQ(CTSyncFileArray::Get()->Add(ServiceTask("docs", OPER_ADD).tSyncFile), 0);

    auto fromService = [this](const std::string& path, int oper, int fileType) {
        TComand task = ServiceTask(path, oper);
        task.tSyncFile.iType = fileType;
        task.tSyncFile.iId = task.tSyncFile.iId > 0 ? task.tSyncFile.iId : 500;
        return task;
    };
    auto rename = [&](const std::string& from, const std::string& to) {
        TComand task = fromService(from, OPER_RENAME, 1);
        task.tSyncFile.dataExtension.dataReName.wstrOldName = StringToWstring(Local(from).string());
        task.tSyncFile.dataExtension.dataReName.wstrNewName = StringToWstring(Local(to).string());
        return task;
    };
    const std::vector<TComand> tasks = {
        fromService("docs/x.txt", OPER_ADD, 1),       // download into it
        fromService("docs/new", OPER_ADD, 0),         // folder creation in it
        fromService("docs/deeper/new", OPER_ADD, 0),  // folders created on the way
        fromService("docs/x.txt", OPER_DELETE, 1),    // a file in it to the trash
        fromService("docs/inner", OPER_DELETE, 0),    // a folder in it to the trash
        fromService("docs", OPER_DELETE, 0),          // the link as the folder
        rename("docs/x.txt", "docs/z.txt"),           // a rename in it
        rename("a.txt", "docs/a.txt"),                // a rename into it
        rename("docs/x.txt", "x.txt"),                // a rename out of it
        DiskTask("docs/x.txt", OPER_ADD),             // an upload of what it holds
    };
    RunTasks(tasks);

    EXPECT_EQ(TreeOf(outside), before);
    EXPECT_EQ(ReadWholeFile(Local("a.txt")), "inside");
    EXPECT_FALSE(std::filesystem::exists(Local("x.txt")));
    EXPECT_TRUE(std::filesystem::is_symlink(Local("docs")));
    EXPECT_TRUE(Entry("docs/a.txt").isNull());
    EXPECT_EQ(Service().ReadFile(account, "docs/x.txt"), "service");
    const std::vector<SyncFail> fails = Fails();
    ASSERT_EQ(fails.size(), tasks.size());
    for (const SyncFail& fail : fails) {
        SCOPED_TRACE(WstringToString(fail.tComand.tSyncFile.strRelativePath));
        EXPECT_EQ(fail.errcode, 1001);
    }
    EXPECT_NE(testing_support::LogText(home.path()).find("Local path refused = (.\\docs\\x.txt)"),
              std::string::npos);
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
