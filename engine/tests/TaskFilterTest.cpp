// The filter chain as the task builder's threads run it: one batch through CTaskManager's
// AddTasks, then what reached the syncing task queue (memory and table), the fail list, the
// flags and status, the rules' log lines and the messages for the task manager thread (this
// test's thread stands in for it). Each row of the table is one case with its reason.

#include <functional>
#include <string>
#include <vector>

#include "engine/FileMaxPath.h"
#include "engine/NoSyncFolder.h"
#include "engine/SyncFailFile.h"
#include "engine/TaskManager.h"
#include "engine/tests/FilterTestSupport.h"
#include "store/tablestore/SyncFolder.h"

namespace {

using filter_test::Bit;
using filter_test::Rename;
using filter_test::Task;
using Batch = std::vector<TComand>;

struct LogExpect {
    std::string function;
    std::string text;
    int count;
};

struct FilterRow {
    const char* name;
    const char* why;
    // Built once the test's sync directory is known.
    std::function<Batch(const std::wstring& syncDir)> batch;
    int batchFlag = 0;
    unsigned flagsBefore = 0;
    int statusBefore = MSYNC_STATE_IDLE;
    // Runs before the batch (entries of the server temporary set, the fail list...).
    std::function<void(const std::wstring& syncDir)> before = {};
    int result = 1;
    std::vector<std::wstring> queued = {};
    // Names that went to the fail list with 1001, each announced with MSG_ERR_FILEPATH_TOOLONG.
    std::vector<std::wstring> failed = {};
    std::vector<LogExpect> logged = {};
    unsigned flagsAfter = 0;
    int statusAfter = MSYNC_STATE_IDLE;
};

// Failures name the row instead of dumping its bytes.
void PrintTo(const FilterRow& row, std::ostream* out) {
    *out << row.name;
}

std::function<Batch(const std::wstring&)> Fixed(Batch batch) {
    return [batch](const std::wstring&) { return batch; };
}

TComand WithSize(TComand task, const std::string& size) {
    task.tSyncFile.strFileSize = size;
    return task;
}

TComand Folder(const std::wstring& name) {
    TComand task = Task(name);
    task.tSyncFile.iType = 0;
    task.tSyncFile.strFileSize.clear();
    return task;
}

// The folder with id 7, which the user excluded from sync (see ExcludeFolder).
TComand ExcludedFolder() {
    TComand task = Folder(L"excluded");
    task.tSyncFile.iId = 7;
    return task;
}

void ExcludeFolder() {
    CSyncFolder folders;
    ASSERT_EQ(folders.ConnectDB(), 0);
    ASSERT_EQ(folders.AddSyncFolder(SyncFolder{7, L"excluded", 1}), 0);
    folders.Disconnect();
    ASSERT_EQ(CSyncFolderArray::Get()->ReLoad(), 0);
}

TComand InFolder(const std::wstring& folder, const std::wstring& name) {
    TComand task = Task(name);
    task.tSyncFile.strRelativePath = L".\\" + folder + L"\\" + name;
    return task;
}

TComand RenamePaths(const std::wstring& oldPath, const std::wstring& newPath) {
    TComand task = Rename(GetFileName(oldPath), GetFileName(newPath));
    task.tSyncFile.dataExtension.dataReName.wstrOldName = oldPath;
    task.tSyncFile.dataExtension.dataReName.wstrNewName = newPath;
    return task;
}

// A rename's data left on a task that is not a rename.
TComand AddWithRenameData(const std::wstring& name, const std::wstring& newName) {
    TComand task = Task(name);
    task.tSyncFile.dataExtension.dataReName.wstrNewName = newName;
    return task;
}

const std::string kFilter = "CFileFilter::DoAction";
const std::string k4G = "CFile4GFilter::DoAction";
const std::string kMaxPath = "CFileMaxPath::DoAction";
const std::string kEcho = "CSyncRedundancyFilter::DoAction";
const std::string kRelease = "CTaskCache::ReleaseTask";
const std::string kOffline = "CTaskCache::NeedOfflineSyncOnIdle";
const unsigned kDiskCause = Bit(MSYNC_FLAG_DISKCAUSE_SYNC);
const unsigned kFile4G = Bit(MSYNC_FLAG_FILE4G);
const unsigned kPause = Bit(MSYNC_FLAG_PAUSE);

const std::vector<FilterRow> kRows = {
    {.name = "TemporaryAndShortcutNames",
     .why = "report.tmp and a.lnk are left out with one line each, b.txt goes on",
     .batch = Fixed({Task(L"report.tmp"), Task(L"a.lnk"), Task(L"b.txt")}),
     .queued = {L"b.txt"},
     .logged = {{kFilter, "Remove Task: file Name = (report.tmp) CFileFilter", 1},
                {kFilter, "Remove Task: file Name = (a.lnk) CFileFilter", 1},
                {kFilter, "Remove Task: file Name = (b.txt)", 0}},
     .flagsAfter = kDiskCause},
    {.name = "EveryPattern",
     .why = "the two other patterns, *._mp and *.~mp, are left out too",
     .batch = Fixed({Task(L"x._mp"), Task(L"y.~mp"), Task(L"z.mp")}),
     .queued = {L"z.mp"},
     .logged = {{kFilter, "(x._mp)", 1}, {kFilter, "(y.~mp)", 1}},
     .flagsAfter = kDiskCause},
    {.name = "CaseCounts",
     .why = "patterns are case-sensitive: REPORT.TMP and A.LNK are synchronised",
     .batch = Fixed({Task(L"REPORT.TMP"), Task(L"A.LNK")}),
     .queued = {L"REPORT.TMP", L"A.LNK"},
     .flagsAfter = kDiskCause},
    {.name = "WholeNameOnly",
     .why = "a pattern matches the whole name, never a folder above it: a.tmp.txt and a file "
            "in the folder x.tmp stay, the folder build.tmp itself is left out",
     .batch = Fixed(
         {Task(L"a.tmp.txt"), Task(L"tmp"), InFolder(L"x.tmp", L"b.txt"), Folder(L"build.tmp")}),
     .queued = {L"a.tmp.txt", L"tmp", L"b.txt"},
     .logged = {{kFilter, "(build.tmp)", 1}},
     .flagsAfter = kDiskCause},
    {.name = "RenameToTemporaryName",
     .why = "a rename from x.txt to x.tmp is left out because the new name matches",
     .batch = Fixed({Rename(L"x.txt", L"x.tmp"), Task(L"keep.txt")}),
     .queued = {L"keep.txt"},
     .logged = {{kFilter, "Remove Task: file Name = (x.txt) CFileFilter", 1}},
     .flagsAfter = kDiskCause},
    {.name = "RenameFromTemporaryName",
     .why = "a rename from x.tmp to x.txt is left out because the old name matches",
     .batch = Fixed({Rename(L"y.tmp", L"y.txt")}),
     .queued = {},
     .logged = {{kFilter, "(y.tmp)", 1}}},
    {.name = "RenamePathsMatchOnTheirLastName",
     .why = "rename names given as paths are matched on their last name: a rename inside the "
            "folder cache.tmp goes on, a rename to a.lnk is left out",
     .batch = Fixed({RenamePaths(L"/S/cache.tmp/a.txt", L"/S/cache.tmp/b.txt"),
                     RenamePaths(L"/S/c.txt", L"/S/c.lnk")}),
     .queued = {L"a.txt"},
     .logged = {{kFilter, "(c.txt)", 1}},
     .flagsAfter = kDiskCause},
    {.name = "RenameNamesOnlyForRenames",
     .why = "an add that carries a stale rename name matching *.tmp is not a rename: it stays",
     .batch = Fixed({AddWithRenameData(L"new.txt", L"old.tmp")}),
     .queued = {L"new.txt"},
     .flagsAfter = kDiskCause},
    {.name = "PathLengthBoundary",
     .why = "an absolute path of 240 characters other than separators stays; 241 goes to the "
            "fail list with 1001 and is announced to the task manager thread",
     .batch =
         [](const std::wstring& dir) {
             return Batch{filter_test::LongPathTask(L"long241.txt", 241, dir),
                          filter_test::LongPathTask(L"long240.txt", 240, dir), Task(L"b.txt")};
         },
     .queued = {L"long240.txt", L"b.txt"},
     .failed = {L"long241.txt"},
     .logged = {{kMaxPath, "Error::The long of (241)(.\\ddd", 1},
                {kMaxPath, "is longer than Max Path , Do not Sync", 1}},
     .flagsAfter = kDiskCause},
    {.name = "PathTooLongAgain",
     .why = "the offline comparison builds a too-long path again and again: it is left out "
            "each time but listed and announced only once",
     .batch =
         [](const std::wstring& dir) {
             return Batch{filter_test::LongPathTask(L"long241.txt", 241, dir)};
         },
     .before =
         [](const std::wstring& dir) {
             TComand task = filter_test::LongPathTask(L"long241.txt", 241, dir);
             int nFailID = -1;
             ASSERT_EQ(CSyncFailArray::Get()->Add(1001, task, nFailID), 0);
         },
     .queued = {},
     .logged = {{kMaxPath, "Error::The long of (241)(", 1}}},
    {.name = "SizeJustBelow4G",
     .why = "4294967295 bytes is below the limit: the file is synchronised, no flag",
     .batch = Fixed({WithSize(Task(L"edge.bin"), "4294967295")}),
     .queued = {L"edge.bin"},
     .flagsAfter = kDiskCause},
    {.name = "SizeOf4G",
     .why = "4294967296 bytes is left out and raises MSYNC_FLAG_FILE4G",
     .batch = Fixed({WithSize(Task(L"big.iso"), "4294967296"), Task(L"small.txt")}),
     .queued = {L"small.txt"},
     .logged = {{k4G, "Remove Task File(big.iso) Size(4294967296) Operation = (2) iType = (1)> 4G ",
                 1}},
     .flagsAfter = kDiskCause | kFile4G},
    {.name = "DeleteAbove4G",
     .why = "a delete of a 5 GB file is left out too, but does not raise MSYNC_FLAG_FILE4G",
     .batch = Fixed({WithSize(Task(L"old.iso", OPER_DELETE), "5000000000")}),
     .queued = {},
     .logged = {{k4G, "Remove Task File(old.iso) Size(5000000000) Operation = (3)", 1}}},
    {.name = "ModifyAbove4GFromService",
     .why = "a change of a large file on the service raises the flag as well",
     .batch = Fixed({WithSize(Task(L"video.mkv", OPER_MODIFY, 0), "8589934592")}),
     .batchFlag = 1,
     .queued = {},
     .logged = {{k4G, "Operation = (1) iType = (0)> 4G ", 1}},
     .flagsAfter = kFile4G},
    {.name = "SizeTexts",
     .why = "a size that is no number counts as 0 and stays; one beyond 64 bits is left out",
     .batch = Fixed(
         {WithSize(Task(L"odd.txt"), "abc"), WithSize(Task(L"huge.bin"), "99999999999999999999")}),
     .queued = {L"odd.txt"},
     .logged = {{k4G, "(huge.bin)", 1}},
     .flagsAfter = kDiskCause | kFile4G},
    {.name = "PausedDiscardsSilently",
     .why = "while paused a batch disappears before any rule sees it: nothing queued, nothing "
            "in the fail list, no line of any rule",
     .batch =
         [](const std::wstring& dir) {
             return Batch{Task(L"a.txt"), Task(L"report.tmp"),
                          WithSize(Task(L"big.iso"), "4294967296"),
                          filter_test::LongPathTask(L"long.txt", 300, dir)};
         },
     .flagsBefore = kPause,
     .result = 0,
     .queued = {},
     .flagsAfter = kPause},
    {.name = "DiskBatchAsksForOfflineSync",
     .why = "a disk batch (flag 0) with tasks from the disk sets MSYNC_FLAG_DISKCAUSE_SYNC, "
            "logged once",
     .batch = Fixed({Task(L"a.txt"), Task(L"b.txt")}),
     .queued = {L"a.txt", L"b.txt"},
     .logged = {{kOffline, "CTaskCache::NeedOfflineSyncOnIdle() SetOfflineSync True", 1},
                {kRelease, "CTaskCache::ReleaseTask() Status (1) flag = (4)", 1}},
     .flagsAfter = kDiskCause},
    {.name = "OfflineBatchDoesNot",
     .why = "an offline batch (flag 1) never sets it, even with tasks from the disk",
     .batch = Fixed({Task(L"a.txt")}),
     .batchFlag = 1,
     .queued = {L"a.txt"},
     .logged = {{kOffline, "SetOfflineSync", 0}}},
    {.name = "DiskBatchOfServiceTasks",
     .why = "a disk batch whose tasks all come from the service does not set it either",
     .batch = Fixed({Task(L"a.txt", OPER_ADD, 0)}),
     .queued = {L"a.txt"},
     .logged = {{kOffline, "SetOfflineSync", 0}}},
    {.name = "EmptiedBatchEndsFind",
     .why = "a batch that the rules empty turns FIND back into IDLE",
     .batch = Fixed({Task(L"report.tmp")}),
     .statusBefore = MSYNC_STATE_FIND,
     .queued = {},
     .logged = {{kRelease,
                 "CTaskCache::ReleaseTask() Set Status (MSYNC_STATE_IDLE, not Force , "
                 "OPEA_FLAG = Default )",
                 1}}},
    {.name = "QueuedBatchKeepsFind",
     .why = "a batch that reaches the queue leaves FIND for the worker to change",
     .batch = Fixed({Task(L"a.txt", OPER_ADD, 0)}),
     .batchFlag = 1,
     .statusBefore = MSYNC_STATE_FIND,
     .queued = {L"a.txt"},
     .logged = {{kRelease, "CTaskCache::ReleaseTask() Status (2) flag = (0)", 1},
                {kRelease, "Set Status", 0}},
     .statusAfter = MSYNC_STATE_FIND},
    {.name = "EmptiedBatchWhileSyncing",
     .why = "an emptied batch while SYNCING changes nothing",
     .batch = Fixed({Task(L"report.tmp")}),
     .statusBefore = MSYNC_STATE_SYNCING,
     .queued = {},
     .logged = {{kRelease, "Set Status", 0}},
     .statusAfter = MSYNC_STATE_SYNCING},
    {.name = "EchoOfOwnDownload",
     .why = "the disk's echo of a download is left out once; the next disk change of the same "
            "file and a service task of a file with an echo entry go on",
     .batch = Fixed({Task(L"got.txt"), Task(L"got.txt"), Task(L"svc.txt", OPER_ADD, 0)}),
     .before =
         [](const std::wstring&) {
             CSyncTemporary::Get()->Add(Task(L"got.txt").tSyncFile, OPER_ADD);
             CSyncTemporary::Get()->Add(Task(L"svc.txt").tSyncFile, OPER_ADD);
         },
     .queued = {L"got.txt", L"svc.txt"},
     .logged = {{kEcho, "Remove Task File(got.txt), Server Operation", 1}, {kEcho, "(svc.txt)", 0}},
     .flagsAfter = kDiskCause},
    {.name = "EchoOfOwnDeleteNotOfAdd",
     .why = "an echo entry answers only its own operation: a remembered delete does not swallow "
            "an add of the same file",
     .batch = Fixed({Task(L"gone.txt", OPER_ADD), Task(L"gone.txt", OPER_DELETE)}),
     .before =
         [](const std::wstring&) {
             CSyncTemporary::Get()->Add(Task(L"gone.txt").tSyncFile, OPER_DELETE);
         },
     .queued = {L"gone.txt"},
     .logged = {{kEcho, "(gone.txt)", 1}},
     .flagsAfter = kDiskCause},
    {.name = "ExcludedFolderAndEarlierFailureAreOff",
     .why = "rules 5 and 6 are switched off: a task that failed before and a folder the user "
            "excluded still reach the queue",
     .batch = Fixed({Task(L"failed.txt"), ExcludedFolder()}),
     .before =
         [](const std::wstring&) {
             TComand failed = Task(L"failed.txt");
             int nFailID = -1;
             ASSERT_EQ(CSyncFailArray::Get()->Add(1002, failed, nFailID), 0);
             ExcludeFolder();
         },
     .queued = {L"failed.txt", L"excluded"},
     .flagsAfter = kDiskCause},
};

class TaskFilterTest : public filter_test::FilterTest,
                       public ::testing::WithParamInterface<FilterRow> {};

TEST_P(TaskFilterTest, Batch) {
    const FilterRow& row = GetParam();
    SCOPED_TRACE(row.why);
    ResetStatus(row.flagsBefore, row.statusBefore);
    if (row.before) {
        row.before(SyncDir());
    }
    const std::size_t failsBefore = Fails().size();
    CTaskManager manager;
    manager.SetRuleThreadId(plat::GetCurrentThreadId());
    Batch batch = row.batch(SyncDir());

    EXPECT_EQ(manager.AddTasks(batch, row.batchFlag), row.result);

    EXPECT_EQ(TakeQueued(), row.queued);
    EXPECT_EQ(CSyncingTaskArray::Get()->Wait(0),
              row.queued.empty() ? plat::WAIT_TIMEOUT : plat::WAIT_OBJECT_0)
        << "the work signal is released when and only when tasks were queued";
    EXPECT_EQ(static_cast<unsigned>(CSyncStatus::Get()->GetFlag()), row.flagsAfter);
    EXPECT_EQ(CSyncStatus::Get()->GetStatus(), row.statusAfter);

    std::vector<SyncFail> fails = Fails();
    ASSERT_EQ(fails.size(), failsBefore + row.failed.size());
    std::vector<plat::MSG> posted = DrainMessages();
    ASSERT_EQ(posted.size(), row.failed.size());
    for (std::size_t i = 0; i < row.failed.size(); ++i) {
        const SyncFail& fail = fails[failsBefore + i];
        EXPECT_EQ(fail.tComand.tSyncFile.strName, row.failed[i]);
        EXPECT_EQ(fail.errcode, 1001);
        EXPECT_EQ(posted[i].message, MSG_ERR_FILEPATH_TOOLONG);
        EXPECT_EQ(posted[i].wParam, static_cast<plat::WPARAM>(fail.iFailAutoKey));
        EXPECT_EQ(posted[i].lParam, 0);
    }

    for (const LogExpect& expect : row.logged) {
        EXPECT_EQ(CountLines(expect.function, expect.text), expect.count)
            << expect.function << ": " << expect.text;
    }
    if (row.result == 0) {
        EXPECT_EQ(RuleLines(), std::vector<std::string>());
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, TaskFilterTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<FilterRow>& info) {
                             return std::string(info.param.name);
                         });

class FilterRuleTest : public filter_test::FilterTest {};

// The two rules the task manager leaves switched off work when used on their own.
TEST_F(FilterRuleTest, ExcludedFolderAndFailureRulesRemoveTheirTasks) {
    TComand failed = Task(L"failed.txt");
    int nFailID = -1;
    ASSERT_EQ(CSyncFailArray::Get()->Add(1002, failed, nFailID), 0);
    ExcludeFolder();
    TComand failedElsewhere = Task(L"failed.txt");
    failedElsewhere.tSyncFile.strRelativePath = L".\\other\\failed.txt";

    Batch batch = {failed, ExcludedFolder(), Task(L"fine.txt"), failedElsewhere};
    CSyncFailFile().DoAction(batch);
    ASSERT_EQ(batch.size(), 3u);
    CNoSyncFolder().DoAction(batch);
    ASSERT_EQ(batch.size(), 2u);
    EXPECT_EQ(batch[0].tSyncFile.strName, L"fine.txt");
    EXPECT_EQ(batch[1].tSyncFile.strRelativePath, L".\\other\\failed.txt");
    EXPECT_EQ(RuleLines(), std::vector<std::string>()) << "both remove without a line";
}

// A rule keeps the survivors whole and in order, statement text included.
TEST_F(FilterRuleTest, RemovalKeepsTheOrderAndTheTasksWhole) {
    Batch batch;
    for (int i = 0; i < 6; ++i) {
        TComand task = Task(std::to_wstring(i) + (i % 2 == 0 ? L".tmp" : L".txt"));
        task.statement = "note " + std::to_string(i);
        batch.push_back(task);
    }
    CTaskManager manager;
    CFileMaxPath().DoAction(batch);
    ASSERT_EQ(batch.size(), 6u);
    std::vector<TComand> copy = batch;
    ASSERT_EQ(manager.AddTasks(copy, 1), 1);
    ASSERT_EQ(copy.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(copy[i].tSyncFile.strName, std::to_wstring(2 * i + 1) + L".txt");
        EXPECT_EQ(copy[i].statement, "note " + std::to_string(2 * i + 1));
    }
    EXPECT_EQ(TakeQueued(), (std::vector<std::wstring>{L"1.txt", L"3.txt", L"5.txt"}));
}

}  // namespace
