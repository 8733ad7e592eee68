// The offline comparison end to end: a real sync directory, the real local file table and the
// reference service acting as another device, then one comparison, then its tasks, the table
// and the disk.

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "engine/SyncRedundancyFilter.h"
#include "engine/tests/CompareRig.h"
#include "platform/Clock.h"
#include "testing/PackedLists.h"
#include "transfer/DownLoad.h"
#include "transfer/TransferCodes.h"

namespace compare_test {
namespace {

// Exposes the rig's modifiers to the rows of the table.
class DecisionTest : public CompareRig {
  public:
    using CompareRig::Compare;
    using CompareRig::DiskFolder;
    using CompareRig::DiskRead;
    using CompareRig::DiskWrite;
    using CompareRig::Local;
    using CompareRig::ServiceDelete;
    using CompareRig::ServiceEntry;
    using CompareRig::ServiceFolder;
    using CompareRig::ServiceMove;
    using CompareRig::ServicePut;
    using CompareRig::ServiceRename;
    using CompareRig::SetTime;
    using CompareRig::SetUp;
    using CompareRig::syncDir;
    using CompareRig::Synced;
    using CompareRig::SyncedFolder;
    using CompareRig::TableHas;
    using CompareRig::TableRow;
    using CompareRig::tasks;
    using CompareRig::TearDown;
    void TestBody() override {}
};

struct TDecision {
    const char* why;
    std::function<void(DecisionTest&)> change;
    std::vector<std::string> tasks;
    std::function<void(DecisionTest&)> check = [](DecisionTest&) {};
};

constexpr std::time_t kLater = kSyncedTime + 500;

std::string Abs(DecisionTest& t, const char* path) {
    return (t.syncDir / path).string();
}

// The disk monitor's report of the rename of from to copy in the sync root, as the filter gets
// it while the table still knows from under the service id: with the move of a conflict copy
// aside, when the report is read before the comparison has dropped the row, or after a download
// of the item wrote it again. True when the echo filter takes it for the engine's own move.
bool MoveAsideIsAnEcho(const std::string& from, const std::string& copy, int id) {
    TComand report;
    report.iType = 1;
    report.iOper = OPER_RENAME;
    TSyncFile& file = report.tSyncFile;
    file.iId = id;
    file.iType = 1;
    file.strName = StringToWstring(from);
    file.strRelativePath = RelativeOf(from);
    file.dataExtension.eType = 2;
    file.dataExtension.dataReName.wstrOldName = file.strName;
    file.dataExtension.dataReName.wstrNewName = StringToWstring(copy);
    std::vector<TComand> batch = {report};
    CSyncRedundancyFilter().DoAction(batch);
    return batch.empty();
}

// The relative path of the task without its ".\".
std::string PathOf(const TComand& task) {
    return WstringToString(task.tSyncFile.strRelativePath).substr(2);
}

const std::vector<TDecision>& Decisions() {
    static const std::vector<TDecision> rows = {
        {"an item nobody touched gives no task",
         [](DecisionTest& t) {
             t.Synced("a.txt", "one");
             t.SyncedFolder("d");
         },
         {}},
        {"a file whose time alone changed gives no task; its row takes the new time",
         [](DecisionTest& t) {
             t.Synced("a.txt", "one");
             t.SetTime("a.txt", kLater);
         },
         {},
         [](DecisionTest& t) {
             EXPECT_EQ(t.TableRow("a.txt").strModifyTime,
                       GetFileModifyTime(StringToWstring(t.Local("a.txt").string())));
         }},
        {"a file edited offline goes up as a delete and an add",
         [](DecisionTest& t) {
             t.Synced("a.txt", "one");
             t.DiskWrite("a.txt", "two", kLater);
         },
         {"1 3 .\\a.txt", "1 2 .\\a.txt"}},
        {"a file edited on the service comes down as a delete and an add",
         [](DecisionTest& t) {
             t.Synced("a.txt", "one");
             t.ServicePut("a.txt", "two");
         },
         {"0 3 .\\a.txt", "0 2 .\\a.txt"}},
        {"a file renamed on the service is renamed locally, with absolute old and new paths",
         [](DecisionTest& t) {
             t.Synced("a.txt", "one");
             t.ServiceRename("a.txt", "b.txt");
         },
         {"0 4 .\\a.txt"},
         [](DecisionTest& t) {
             ASSERT_EQ(t.tasks.size(), 1u);
             const DataReName& names = t.tasks[0].tSyncFile.dataExtension.dataReName;
             EXPECT_EQ(WstringToString(names.wstrOldName), Abs(t, "a.txt"));
             EXPECT_EQ(WstringToString(names.wstrNewName), Abs(t, "b.txt"));
         }},
        {"a file renamed and edited on the service: the local name goes, the new name comes",
         [](DecisionTest& t) {
             t.Synced("a.txt", "one");
             t.ServiceRename("a.txt", "b.txt");
             t.ServicePut("b.txt", "two");
         },
         {"0 3 .\\a.txt", "0 2 .\\b.txt"},
         [](DecisionTest& t) {
             ASSERT_EQ(t.tasks.size(), 2u);
             EXPECT_EQ(t.tasks[0].tSyncFile.strName, L"a.txt");
             EXPECT_EQ(t.tasks[1].tSyncFile.strName, L"b.txt");
             EXPECT_TRUE(t.tasks[1].tSyncFile.dataExtension.dataReName.wstrNewName.empty());
         }},
        {"changes below a folder renamed on the service apply where the folder's rename put it",
         [](DecisionTest& t) {
             t.SyncedFolder("d");
             t.SyncedFolder("d/in");
             t.Synced("d/edit.txt", "one");
             t.Synced("d/gone.txt", "x");
             t.Synced("d/in/name.txt", "n");
             t.Synced("keep.txt", "k");
             t.Synced("keep2.txt", "k");
             t.ServiceRename("d/in", "inner");
             t.ServiceRename("d", "e");
             t.ServicePut("e/edit.txt", "two");
             t.ServiceDelete("e/gone.txt");
             t.ServiceRename("e/inner/name.txt", "other.txt");
         },
         {"0 4 .\\d", "0 4 .\\e\\in", "0 4 .\\e\\inner\\name.txt", "0 3 .\\e\\gone.txt",
          "0 3 .\\e\\edit.txt", "0 2 .\\e\\edit.txt"},
         [](DecisionTest& t) {
             ASSERT_EQ(t.tasks.size(), 6u);
             const DataReName& names = t.tasks[2].tSyncFile.dataExtension.dataReName;
             EXPECT_EQ(WstringToString(names.wstrOldName), Abs(t, "e/inner/name.txt"));
             EXPECT_EQ(WstringToString(names.wstrNewName), Abs(t, "e/inner/other.txt"));
         }},
        {"folders renamed on the service along a chain of names (d1 -> d2, then d0 -> d1): the "
         "folder that leaves a name is renamed before the one that takes it",
         [](DecisionTest& t) {
             t.SyncedFolder("d0");
             t.SyncedFolder("d0/in");
             t.Synced("d0/f.txt", "one");
             t.SyncedFolder("d1");
             t.Synced("d1/g.txt", "g");
             t.SyncedFolder("d10");
             t.ServiceRename("d0/in", "out");
             t.ServiceRename("d1", "d2");
             t.ServiceRename("d0", "d1");
             t.ServiceRename("d10", "d0");
             t.ServicePut("d1/f.txt", "two");
         },
         {"0 4 .\\d1", "0 4 .\\d0", "0 4 .\\d1\\in", "0 4 .\\d10", "0 3 .\\d1\\f.txt",
          "0 2 .\\d1\\f.txt"},
         [](DecisionTest& t) {
             ASSERT_EQ(t.tasks.size(), 6u);
             const char* const moves[][2] = {
                 {"d1", "d2"}, {"d0", "d1"}, {"d1/in", "d1/out"}, {"d10", "d0"}};
             for (std::size_t i = 0; i < 4; ++i) {
                 const DataReName& names = t.tasks[i].tSyncFile.dataExtension.dataReName;
                 EXPECT_EQ(WstringToString(names.wstrOldName), Abs(t, moves[i][0])) << i;
                 EXPECT_EQ(WstringToString(names.wstrNewName), Abs(t, moves[i][1])) << i;
             }
         }},
        {"files renamed on the service along a chain of names: the file that leaves a name is "
         "renamed first",
         [](DecisionTest& t) {
             t.Synced("a.txt", "a");
             t.Synced("b.txt", "b");
             t.ServiceRename("b.txt", "c.txt");
             t.ServiceRename("a.txt", "b.txt");
         },
         {"0 4 .\\b.txt", "0 4 .\\a.txt"}},
        {"folders that swapped names on the service: both renames come, in the listing's order",
         [](DecisionTest& t) {
             t.SyncedFolder("a");
             t.SyncedFolder("b");
             t.ServiceRename("a", "t");
             t.ServiceRename("b", "a");
             t.ServiceRename("t", "b");
         },
         {"0 4 .\\a", "0 4 .\\b"}},
        {"the same new file on both sides gives no task and one new row",
         [](DecisionTest& t) {
             t.DiskWrite("n.txt", "same");
             t.ServicePut("n.txt", "same");
         },
         {},
         [](DecisionTest& t) {
             EXPECT_EQ(t.TableRow("n.txt").iId, t.ServiceEntry("n.txt")["fid"].asInt());
         }},
        {"different new files at one path: the local one is renamed aside and both survive",
         [](DecisionTest& t) {
             t.DiskWrite("n.txt", "mine");
             t.ServicePut("n.txt", "theirs");
         },
         {"1 2 .\\n_??????????????.txt", "0 2 .\\n.txt"},
         [](DecisionTest& t) {
             ASSERT_EQ(t.tasks.size(), 2u);
             std::string copy = PathOf(t.tasks[0]);
             EXPECT_EQ(t.DiskRead(copy), "mine");
             EXPECT_FALSE(fs::exists(t.Local("n.txt")));
             EXPECT_FALSE(t.TableHas("n.txt"));
             EXPECT_TRUE(MoveAsideIsAnEcho("n.txt", copy, t.ServiceEntry("n.txt")["fid"].asInt()));
         }},
        {"an item deleted on both sides gives no task and loses its row",
         [](DecisionTest& t) {
             t.Synced("a.txt", "one");
             t.Synced("keep.txt", "k");
             fs::remove(t.Local("a.txt"));
             t.ServiceDelete("a.txt");
         },
         {},
         [](DecisionTest& t) { EXPECT_FALSE(t.TableHas("a.txt")); }},
        {"deleted locally, edited on the service: the service's version comes down as new",
         [](DecisionTest& t) {
             t.Synced("a.txt", "one");
             t.Synced("keep.txt", "k");
             fs::remove(t.Local("a.txt"));
             t.ServicePut("a.txt", "two");
         },
         {"0 2 .\\a.txt"},
         [](DecisionTest& t) { EXPECT_FALSE(t.TableHas("a.txt")); }},
        {"edited locally, deleted on the service: the local version goes up as new",
         [](DecisionTest& t) {
             t.Synced("a.txt", "one");
             t.Synced("keep.txt", "k");
             t.DiskWrite("a.txt", "two", kLater);
             t.ServiceDelete("a.txt");
         },
         {"1 2 .\\a.txt"},
         [](DecisionTest& t) {
             EXPECT_FALSE(t.TableHas("a.txt"));
             EXPECT_EQ(t.DiskRead("a.txt"), "two");
         }},
        {"the same edit on both sides gives no task; the row takes the new content",
         [](DecisionTest& t) {
             t.Synced("a.txt", "one");
             t.DiskWrite("a.txt", "two", kLater);
             t.ServicePut("a.txt", "two");
         },
         {},
         [](DecisionTest& t) {
             EXPECT_EQ(t.TableRow("a.txt").strMD5, GetFileMd5(t.Local("a.txt").string()));
         }},
        {"different edits on both sides: the local one is renamed aside and uploaded, the "
         "service's comes down under the file's name",
         [](DecisionTest& t) {
             t.Synced("a.txt", "one");
             t.DiskWrite("a.txt", "mine", kLater);
             t.ServicePut("a.txt", "theirs");
         },
         {"1 2 .\\a_??????????????.txt", "0 3 .\\a.txt", "0 2 .\\a.txt"},
         [](DecisionTest& t) {
             ASSERT_EQ(t.tasks.size(), 3u);
             std::string copy = PathOf(t.tasks[0]);
             EXPECT_EQ(t.DiskRead(copy), "mine");
             EXPECT_FALSE(t.TableHas("a.txt"));
             EXPECT_TRUE(MoveAsideIsAnEcho("a.txt", copy, t.ServiceEntry("a.txt")["fid"].asInt()))
                 << "it would rename the service's version to the copy's name";
             // The echo filter knows the service's change by the file's id: the copy, a new
             // item, is not taken for the echo of the download.
             std::vector<TComand> batch = t.tasks;
             CSyncRedundancyFilter().DoAction(batch);
             EXPECT_EQ(batch.size(), 3u);
         }},
        {"a new local folder goes up, a new service folder comes down",
         [](DecisionTest& t) {
             t.DiskFolder("mine");
             t.DiskWrite("mine/f.txt", "f");
             t.ServiceFolder("theirs");
         },
         {"1 2 .\\mine", "1 2 .\\mine\\f.txt", "0 2 .\\theirs"}},
        {"a folder the service moved onto the name of a new local folder comes down as a "
         "rename, which merges the two; the rows stay where the items are on disk until then",
         [](DecisionTest& t) {
             t.SyncedFolder("a");
             t.SyncedFolder("a/in");
             t.Synced("a/in/f.txt", "f");
             t.ServiceMove("a/in", "");
             t.DiskFolder("in");
             t.DiskWrite("in/mine.txt", "mine");
         },
         {"1 2 .\\in\\mine.txt", "0 4 .\\a\\in"},
         [](DecisionTest& t) {
             ASSERT_EQ(t.tasks.size(), 2u);
             const DataReName& names = t.tasks[1].tSyncFile.dataExtension.dataReName;
             EXPECT_EQ(WstringToString(names.wstrOldName), Abs(t, "a/in"));
             EXPECT_EQ(WstringToString(names.wstrNewName), Abs(t, "in"));
             EXPECT_EQ(t.TableRow("a/in").iId, t.ServiceEntry("in")["fid"].asInt());
             EXPECT_FALSE(t.TableHas("in"));
             EXPECT_TRUE(t.TableHas("a/in/f.txt"));
         }},
        {"the same new folder on both sides gives no task and a row",
         [](DecisionTest& t) {
             t.DiskFolder("both");
             t.ServiceFolder("both");
         },
         {},
         [](DecisionTest& t) { EXPECT_TRUE(t.TableHas("both")); }},
        {"a folder deleted locally is deleted on the service, folder and content",
         [](DecisionTest& t) {
             t.SyncedFolder("d");
             t.Synced("d/x.txt", "x");
             t.Synced("keep.txt", "k");
             t.Synced("keep2.txt", "k");
             fs::remove_all(t.Local("d"));
         },
         {"1 3 .\\d", "1 3 .\\d\\x.txt"}},
        {"a folder deleted on the service is deleted locally",
         [](DecisionTest& t) {
             t.SyncedFolder("d");
             t.Synced("d/x.txt", "x");
             t.Synced("keep.txt", "k");
             t.Synced("keep2.txt", "k");
             t.ServiceDelete("d");
         },
         {"0 3 .\\d", "0 3 .\\d\\x.txt"}},
    };
    return rows;
}

TEST(OfflineComparisonDecisions, EachRowDecidesAsSpecified) {
    for (const TDecision& row : Decisions()) {
        SCOPED_TRACE(row.why);
        DecisionTest rig;
        rig.SetUp();
        row.change(rig);
        ASSERT_EQ(rig.Compare(), 0);
        EXPECT_TRUE(TasksMatch(rig.tasks, row.tasks));
        row.check(rig);
        rig.TearDown();
    }
}

TEST_F(CompareRig, AFileStillBeingWrittenWaitsForALaterComparison) {
    Synced("open.txt", "one");
    Synced("shut.txt", "one");
    DiskWrite("open.txt", "two", kLater);
    DiskWrite("shut.txt", "two", kLater);
    std::ofstream writer(Local("open.txt"), std::ios::app);
    ASSERT_TRUE(writer.is_open());
    ASSERT_EQ(Compare(), 0);
    EXPECT_TRUE(TasksMatch(tasks, {"1 3 .\\shut.txt", "1 2 .\\shut.txt"}));
    EXPECT_NE(Log().find("Could not open file (error 11). "), std::string::npos);
    writer.close();
    ASSERT_EQ(Compare(), 0);
    EXPECT_TRUE(TasksMatch(
        tasks, {"1 3 .\\open.txt", "1 2 .\\open.txt", "1 3 .\\shut.txt", "1 2 .\\shut.txt"}));
}

TEST_F(CompareRig, TasksComeInTheSevenRowOrderAndTheTemporarySetHoldsTheServerChanges) {
    Synced("ldel.txt", "x");
    Synced("lmod.txt", "x");
    Synced("sren.txt", "x");
    Synced("sdel.txt", "x");
    Synced("smod.txt", "x");
    Synced("keep1.txt", "x");
    Synced("keep2.txt", "x");
    fs::remove(Local("ldel.txt"));
    DiskWrite("ladd.txt", "new");
    DiskWrite("lmod.txt", "changed", kLater);
    ServiceRename("sren.txt", "renamed.txt");
    ServiceDelete("sdel.txt");
    ServicePut("sadd.txt", "new");
    ServicePut("smod.txt", "changed");
    ASSERT_EQ(Compare(), 0);
    EXPECT_TRUE(TasksMatch(tasks, {"1 3 .\\ldel.txt", "1 2 .\\ladd.txt", "1 3 .\\lmod.txt",
                                   "1 2 .\\lmod.txt", "0 4 .\\sren.txt", "0 3 .\\sdel.txt",
                                   "0 2 .\\sadd.txt", "0 3 .\\smod.txt", "0 2 .\\smod.txt"}));
    for (const TComand& task : tasks) {
        EXPECT_EQ(task.statement, "0");
        EXPECT_EQ(task.iIdKey, -1);
    }
    CSyncTemporary* temporary = CSyncTemporary::Get();
    TSyncFile probe;
    probe.strRelativePath = RelativeOf("sadd.txt");
    EXPECT_EQ(temporary->CheckServerSyncFile(probe, OPER_ADD), 1);
    probe.strRelativePath = RelativeOf("sdel.txt");
    EXPECT_EQ(temporary->CheckServerSyncFile(probe, OPER_DELETE), 1);
    probe.strRelativePath = RelativeOf("smod.txt");
    EXPECT_EQ(temporary->CheckServerSyncFile(probe, OPER_DELETE), 1);
    EXPECT_EQ(temporary->CheckServerSyncFile(probe, OPER_ADD), 1);
    probe.strRelativePath = RelativeOf("sren.txt");
    EXPECT_EQ(temporary->CheckServerSyncFile(probe, OPER_RENAME), 1);
    probe.strRelativePath = RelativeOf("ldel.txt");
    EXPECT_EQ(temporary->CheckServerSyncFile(probe, OPER_DELETE), 0);
}

// The download of the service's version finds the user's edit made since the comparison and
// moves it aside; the next comparison runs before the watcher's report of that move has passed
// the filter. The copy goes up with that comparison, and the report stays the engine's.
TEST_F(CompareRig, AFileADownloadMovedAsideStaysTheEnginesMoveThroughTheNextComparison) {
    Synced("a.txt", "one");
    ServicePut("a.txt", "theirs");
    ASSERT_EQ(Compare(), 0);
    ASSERT_TRUE(TasksMatch(tasks, {"0 3 .\\a.txt", "0 2 .\\a.txt"}));
    TComand download = tasks[1];
    DiskWrite("a.txt", "mine", kLater);
    ASSERT_EQ(CDownLoad().DoTask(download), TRANSFER_OK);
    ASSERT_EQ(Compare(), 0);
    ASSERT_TRUE(TasksMatch(tasks, {"1 2 .\\a_??????????????.txt"}));
    const std::string copy = PathOf(tasks[0]);
    EXPECT_EQ(DiskRead(copy), "mine");
    EXPECT_EQ(DiskRead("a.txt"), "theirs");
    EXPECT_TRUE(MoveAsideIsAnEcho("a.txt", copy, download.tSyncFile.iId));
}

TEST_F(CompareRig, AnEditThatKeptTheTimeIsFoundBySizeOrAsRacilyClean) {
    Synced("size.txt", "one");
    Synced("racy.txt", "one");
    Synced("later.txt", "one");
    // The edits keep the times the rows hold.
    DiskWrite("size.txt", "longer");
    DiskWrite("racy.txt", "two");
    // racy.txt's row was written in the second of its time: the last comparison started then.
    SetMark("OfflineSyncTime", kSyncedTime);
    ASSERT_EQ(Compare(), 0);
    EXPECT_TRUE(TasksMatch(
        tasks, {"1 3 .\\racy.txt", "1 2 .\\racy.txt", "1 3 .\\size.txt", "1 2 .\\size.txt"}));
    // The mark moved on: a same-size edit within the second is now a second in the past...
    DiskWrite("later.txt", "two");
    SetMark("OfflineSyncTime", kSyncedTime + 1);
    // ...but racy.txt's edit, whose tasks never ran (a resume cleared the queue, say), is
    // found again, and its row no longer passes for the file on disk.
    ASSERT_EQ(Compare(), 0);
    EXPECT_TRUE(TasksMatch(
        tasks, {"1 3 .\\racy.txt", "1 2 .\\racy.txt", "1 3 .\\size.txt", "1 2 .\\size.txt"}));
    EXPECT_EQ(TableRow("racy.txt").strModifyTime, "");
    EXPECT_NE(TableRow("later.txt").strModifyTime, "");
}

TEST_F(CompareRig, AConflictCopyNeverReplacesAFileOfTheSameName) {
    plat::Clock::SetManual(true);
    plat::Clock::SetWallTime(1409706303);  // 09:05:03 on 3 September 2014 at UTC+8
    Synced("a.txt", "one");
    DiskWrite("a.txt", "mine", kLater);
    DiskWrite("a_20140903090503.txt", "an older copy");
    ServicePut("a.txt", "theirs");
    const int result = Compare();
    plat::Clock::SetManual(false);
    ASSERT_EQ(result, 0);
    EXPECT_TRUE(TasksMatch(tasks, {"1 2 .\\a_20140903090503.txt", "1 2 .\\a_20140903090503_1.txt",
                                   "0 3 .\\a.txt", "0 2 .\\a.txt"}));
    EXPECT_EQ(DiskRead("a_20140903090503.txt"), "an older copy");
    EXPECT_EQ(DiskRead("a_20140903090503_1.txt"), "mine");
}

// --- failed scans

TEST_F(CompareRig, AFailedListingAbandonsTheComparison) {
    Synced("a.txt", "one");
    fs::remove(Local("a.txt"));
    Service().AddFault("/ent/synch/modify", "status", JsonObject({{"status", 500}}));
    EXPECT_NE(Compare(), 0);
    EXPECT_TRUE(tasks.empty());
    EXPECT_TRUE(TableHas("a.txt"));
    EXPECT_NE(Log().find("Get Server SyncFile array Failed!, Exit this offline sync."),
              std::string::npos);
}

TEST_F(CompareRig, AMissingSyncDirectoryAbandonsTheComparison) {
    Synced("a.txt", "one");
    fs::remove_all(syncDir);
    EXPECT_EQ(Compare(), 1002);
    EXPECT_TRUE(tasks.empty());
    EXPECT_TRUE(TableHas("a.txt"));
    EXPECT_FALSE(ServiceEntry("a.txt").isNull());
}

TEST_F(CompareRig, AnEmptySyncDirectoryOnAnotherDeviceIsAVolumeNotMounted) {
    Synced("a.txt", "one");
    ASSERT_EQ(Compare(), 0);  // records the device the items are on
    struct stat st {};
    ASSERT_EQ(::stat(syncDir.c_str(), &st), 0);
    SetMark("SyncDirDevice", static_cast<std::uint64_t>(st.st_dev) + 1);
    fs::remove(Local("a.txt"));
    EXPECT_EQ(Compare(), 1002);
    EXPECT_TRUE(tasks.empty());
    EXPECT_TRUE(TableHas("a.txt"));
}

TEST_F(CompareRig, ItemsNotWalkedKeepTheirRowsAndTheirServiceCopies) {
    const fs::path outside = home.path() / "outside";
    fs::create_directories(outside);
    testing_support::WriteWholeFile(outside / "o.txt", "outside");
    SyncedFolder("linked");
    Synced("linked/in.txt", "in");
    Synced("pipe", "was a file");
    Synced("keep.txt", "k");
    Synced("keep2.txt", "k");
    Synced("keep3.txt", "k");
    fs::remove_all(Local("linked"));
    fs::create_directory_symlink(outside, Local("linked"));
    fs::create_directory_symlink(outside, Local("newlink"));
    fs::remove(Local("pipe"));
    ASSERT_EQ(::mkfifo(Local("pipe").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(Local("newpipe").c_str(), 0600), 0);
    ASSERT_EQ(Compare(), 0);
    EXPECT_TRUE(TasksMatch(tasks, {}));
    EXPECT_TRUE(TableHas("linked/in.txt"));
    EXPECT_TRUE(TableHas("pipe"));
    EXPECT_EQ(testing_support::ReadWholeFile(outside / "o.txt"), "outside");
}

TEST_F(CompareRig, NamesTheRelativeFormCannotHoldAreSkippedWithALogLine) {
    Synced("keep.txt", "k");
    DiskWrite("back\\slash.txt", "b");
    DiskWrite(std::string("bad\xff") + "name.txt", "b");
    ASSERT_EQ(Compare(), 0);
    EXPECT_TRUE(TasksMatch(tasks, {}));
    std::string log = Log();
    EXPECT_NE(log.find("Not synced: the name is not UTF-8 or holds a backslash (back\\slash.txt)"),
              std::string::npos);
    EXPECT_NE(log.find("Not synced: the name is not UTF-8 or holds a backslash (bad"),
              std::string::npos);
}

// --- traps in the data

// Renames an item of the service's metadata to a name its interface refuses; the running
// service reads it back from there.
void RenameInServiceMetadata(std::int64_t id, const std::string& name) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(ServiceEnvironment::MetaFile().c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 10000);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db, "UPDATE entries SET name = ? WHERE id = ?", -1, &statement, nullptr),
        SQLITE_OK);
    sqlite3_bind_text(statement, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(statement, 2, id);
    EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE);
    sqlite3_finalize(statement);
    EXPECT_EQ(sqlite3_changes(db), 1);
    sqlite3_close(db);
}

TEST_F(CompareRig, HostileNamesNeitherBecomePathsNorDeleteTheirRows) {
    SyncedFolder("docs");
    Synced("docs/a.txt", "a");
    Synced("bc.txt", "b");
    Synced("line.txt", "l");
    Synced("keep.txt", "k");
    RenameInServiceMetadata(TableRow("docs").iId, "..");
    RenameInServiceMetadata(TableRow("bc.txt").iId, "b\\c.txt");
    RenameInServiceMetadata(TableRow("line.txt").iId, "line\nbreak.txt");
    bool bHostile = false;
    for (const Json::Value& entry : Service().Tree(account)) {
        bHostile = bHostile || entry["name"].asString() == "..";
    }
    ASSERT_TRUE(bHostile);
    ASSERT_EQ(Compare(), 0);
    EXPECT_TRUE(TasksMatch(tasks, {}));
    EXPECT_EQ(CTSyncFileArray::Get()->GetSyncFile().size(), 5u);
    EXPECT_FALSE(fs::exists(home.path() / "a.txt"));
    const std::string log = Log();
    EXPECT_NE(log.find("Server entry name cannot be a local name, left out"), std::string::npos);
    EXPECT_NE(log.find("Server entry below a refused name left out"), std::string::npos);
}

TEST_F(CompareRig, APathThatIsOnlyAPrefixIsNotAChild) {
    Synced("fo", "prefix only");
    SyncedFolder("foo");
    Synced("foo/x", "child");
    Synced("foox", "prefix too");
    fs::remove_all(Local("foo"));
    ASSERT_EQ(Compare(), 0);
    EXPECT_TRUE(TasksMatch(tasks, {"1 3 .\\foo", "1 3 .\\foo\\x"}));
}

TEST_F(CompareRig, WildcardsQuotesCaseAndWideNamesAreTakenLiterally) {
    Synced("100%_a'b\".txt", "q");
    Synced("A.txt", "upper");
    Synced("a.txt", "lower");
    Synced("文件😀.txt", "wide");
    Synced("keep.txt", "k");
    DiskWrite("100%_a'b\".txt", "q2", kLater);
    ServiceDelete("a.txt");
    ServicePut("文件😀.txt", "wide2");
    DiskFolder("新建😀");
    ASSERT_EQ(Compare(), 0);
    EXPECT_TRUE(TasksMatch(tasks, {"1 2 .\\新建😀", "1 3 .\\100%_a'b\".txt", "1 2 .\\100%_a'b\".txt",
                                   "0 3 .\\a.txt", "0 3 .\\文件😀.txt", "0 2 .\\文件😀.txt"}));
}

TEST_F(CompareRig, SizesAboveFourGigabytesAreCompared) {
    Synced("keep.txt", "k");
    DiskWrite("huge.bin", "");
    fs::resize_file(Local("huge.bin"), (std::uint64_t{1} << 32) + 5);
    SetTime("huge.bin", kSyncedTime);
    TSyncFile row;
    row.iId = 999999;
    row.iPId = 0;
    row.iType = 1;
    row.strName = L"huge.bin";
    row.strRelativePath = RelativeOf("huge.bin");
    row.strFileSize = "4294967301";
    row.strModifyTime = GetFileModifyTime(StringToWstring(Local("huge.bin").string()));
    row.strServerTime = "t";
    row.strMD5 = "stored";
    TableAdd(row);
    ASSERT_EQ(Compare(), 0);
    // The row's item is gone from the service; the local file of that exact size is unchanged.
    EXPECT_TRUE(TasksMatch(tasks, {"0 3 .\\huge.bin"}));
    bool bFound = false;
    for (const TSyncFile& file : testing_support::Unpacked(comparison.DiskScanner().Files())) {
        if (file.strName == L"huge.bin") {
            EXPECT_EQ(file.strFileSize, "4294967301");
            bFound = true;
        }
    }
    EXPECT_TRUE(bFound);
}

// --- the mass deletion guard

TEST_F(CompareRig, AListingThatEmptiesTheRootHoldsTheLocalDeletionsBack) {
    for (int i = 0; i < 10; ++i) {
        Synced("f" + std::to_string(i) + ".txt", "x");
    }
    for (int i = 0; i < 10; ++i) {
        ServiceDelete("f" + std::to_string(i) + ".txt");
    }
    DiskWrite("new.txt", "n");
    ASSERT_EQ(Compare(), 0);
    EXPECT_TRUE(TasksMatch(tasks, {"1 2 .\\new.txt"}));
    EXPECT_TRUE(comparison.Hold().bServerHeld);
    EXPECT_FALSE(comparison.Hold().bDiskHeld);
    EXPECT_EQ(comparison.Hold().iServerDeletes, 10u);
    EXPECT_EQ(comparison.Hold().heldTasks.size(), 10u);
    EXPECT_TRUE(fs::exists(Local("f0.txt")));
    EXPECT_TRUE(TableHas("f0.txt"));
    EXPECT_NE(Log().find("Deletions held back: 10 of 10 synced items are gone from the service"),
              std::string::npos);
}

TEST_F(CompareRig, AVanishedLocalFolderWithMostItemsHoldsTheServiceDeletionsBack) {
    SyncedFolder("big");
    for (int i = 0; i < 110; ++i) {
        Synced("big/f" + std::to_string(i) + ".txt", "x");
    }
    for (int i = 0; i < 5; ++i) {
        Synced("rest" + std::to_string(i) + ".txt", "x");
    }
    fs::remove_all(Local("big"));
    fs::remove(Local("rest0.txt"));
    ASSERT_EQ(Compare(), 0);
    EXPECT_TRUE(TasksMatch(tasks, {}));
    EXPECT_TRUE(comparison.Hold().bDiskHeld);
    EXPECT_EQ(comparison.Hold().iDiskDeletes, 112u);
    EXPECT_EQ(comparison.Hold().iSynced, 116u);
    EXPECT_FALSE(ServiceEntry("big/f0.txt").isNull());
}

TEST_F(CompareRig, ALegitimateDeletionOfAFewItemsGoesAhead) {
    for (int i = 0; i < 10; ++i) {
        Synced("f" + std::to_string(i) + ".txt", "x");
    }
    for (int i = 0; i < 3; ++i) {
        fs::remove(Local("f" + std::to_string(i) + ".txt"));
    }
    ASSERT_EQ(Compare(), 0);
    EXPECT_TRUE(TasksMatch(tasks, {"1 3 .\\f0.txt", "1 3 .\\f1.txt", "1 3 .\\f2.txt"}));
    EXPECT_FALSE(comparison.Hold().Any());
}

}  // namespace
}  // namespace compare_test
