// The table store against real SQLite files: round trips of every record field, row order and
// the first-row rules, folder renames with traps in the names, keys, the file layout and the
// connect rhythm.

#include <sqlite3.h>

#include <climits>
#include <filesystem>

#include "common/GlobalSetting.h"
#include "store/tablestore/DbBase.h"
#include "store/tablestore/SyncCompleted.h"
#include "store/tablestore/SyncFail.h"
#include "store/tablestore/SyncFolder.h"
#include "store/tablestore/SyncingTask.h"
#include "store/tablestore/SystemInfo.h"
#include "store/tablestore/TSyncFile.h"
#include "store/tablestore/UserInfo.h"
#include "store/tests/StoreTestSupport.h"

namespace {

using store_test::MakeFile;
using store_test::MakeTask;
using store_test::SameFile;

class TableStoreTest : public store_test::StoreTest {
  protected:
    // The tables of one file, read with SQLite directly.
    std::vector<std::string> TablesOf(const char* fileName) {
        sqlite3* db = nullptr;
        std::vector<std::string> names;
        const auto path = (AccountDir() / fileName).string();
        EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name",
                           -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return names;
    }
};

// Every field, with texts that a careless store would mangle.
TSyncFile FullFile() {
    TSyncFile file;
    file.iId = INT_MAX;
    file.iPId = INT_MIN;
    file.strName = L"Ärger 😀 %_'\"; DROP TABLE FileInfo;--";
    file.strRelativePath = L".\\ordner\\Ärger 😀 %_'\"; DROP TABLE FileInfo;--";
    file.strFileSize = "4294967296";
    file.strModifyTime = "2024-02-29 23:59:59";
    file.strServerTime = std::string("raw\xff\xfe bytes\0inside", 19);
    file.iType = 1;
    file.strMD5 = "d41d8cd98f00b204e9800998ecf8427e";
    file.dataExtension.eType = 2;
    file.dataExtension.dataReName.wstrNewName = L"neu";
    file.dataExtension.dataReName.wstrOldName = L"alt";
    file.dataExtension.dataBreakPoint.iTaskType = 7;
    file.dataExtension.dataBreakPoint.strTempName = "download";
    return file;
}

TEST_F(TableStoreTest, FileRowsRoundTripEveryField) {
    CTSyncFile table;
    ASSERT_EQ(table.ConnectDB(), 0);
    ASSERT_EQ(table.SetFileInfo(FullFile()), 0);
    table.Disconnect();

    std::vector<TSyncFile> files = StoredFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(SameFile(files[0], FullFile()));
}

TEST_F(TableStoreTest, ReadsAppendToTheCallersVector) {
    CTSyncFile table;
    ASSERT_EQ(table.ConnectDB(), 0);
    ASSERT_EQ(table.SetFileInfo(MakeFile(1, L".\\a")), 0);
    std::vector<TSyncFile> files = {MakeFile(99, L".\\already")};
    ASSERT_EQ(table.GetFileInfo(files), 0);
    table.Disconnect();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].iId, 99);
    EXPECT_EQ(files[1].iId, 1);
}

// Rows keep insertion order; a row written with an id or a path that another row has takes
// that row's place.
TEST_F(TableStoreTest, OperationsKeepOneRowPerIdAndPathAndKeepOrder) {
    CTSyncFile table;
    ASSERT_EQ(table.ConnectDB(), 0);
    for (const TSyncFile& file : {MakeFile(5, L".\\first"), MakeFile(3, L".\\x"),
                                  MakeFile(6, L".\\second"), MakeFile(1, L".\\y")}) {
        ASSERT_EQ(table.SetFileInfo(file), 0);
    }
    ASSERT_EQ(table.SetFileInfo(MakeFile(6, L".\\again")), 0);    // the row of id 6 goes
    ASSERT_EQ(table.FilReplace(MakeFile(5, L".\\replaced")), 0);  // in place
    ASSERT_EQ(table.FilReplace(MakeFile(1, L".\\x")), 0);         // in place; .\x of id 3 goes
    ASSERT_EQ(table.FilReplace(MakeFile(8, L".\\new")), 0);       // no row: appended
    ASSERT_EQ(table.DelFileById(42), 0);                          // no row: nothing to do
    table.Disconnect();

    std::vector<std::pair<int, std::wstring>> rows;
    for (const TSyncFile& file : StoredFiles()) {
        rows.emplace_back(file.iId, file.strRelativePath);
    }
    EXPECT_EQ(rows, (std::vector<std::pair<int, std::wstring>>{
                        {5, L".\\replaced"}, {1, L".\\x"}, {6, L".\\again"}, {8, L".\\new"}}));
}

TEST_F(TableStoreTest, FolderRenameTouchesOnlyRowsBelowTheFolder) {
    struct Row {
        std::wstring before;
        std::wstring after;
        const char* why;
    };
    const std::vector<Row> rows = {
        {L".\\a%_", L".\\a%_", "the folder's own row has no trailing separator"},
        {L".\\a%_\\x.txt", L".\\b\\x.txt", "a child"},
        {L".\\a%_\\sub\\y", L".\\b\\sub\\y", "a grandchild"},
        {L".\\a%_x\\z", L".\\a%_x\\z", "a sibling whose name starts like the folder"},
        {L".\\aXY\\z", L".\\aXY\\z", "would match if % and _ were patterns"},
        {L".\\c\\a%_\\z", L".\\c\\a%_\\z", "the folder's name further down another path"},
    };
    CTSyncFile table;
    ASSERT_EQ(table.ConnectDB(), 0);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(table.SetFileInfo(MakeFile(static_cast<int>(i), rows[i].before)), 0);
    }
    ASSERT_EQ(table.FolderRename(L".\\b\\", L".\\a%_\\"), 0);
    EXPECT_EQ(table.FolderRename(L".\\b\\", L""), DB_RESULT_MISSING);
    EXPECT_EQ(table.FolderRename(L".\\c", L".\\b"), DB_RESULT_MISSING) << "no separator";
    EXPECT_EQ(table.FolderRename(L".\\b\\sub\\", L".\\b\\"), DB_RESULT_MISSING) << "into itself";
    EXPECT_EQ(table.FolderRename(L".\\", L".\\b\\"), DB_RESULT_MISSING) << "onto its parent";
    table.Disconnect();

    std::vector<TSyncFile> files = StoredFiles();
    ASSERT_EQ(files.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].why);
        EXPECT_EQ(files[i].strRelativePath, rows[i].after);
    }
}

// A row left at the renamed folder's new name is stale: the renamed row takes its place.
TEST_F(TableStoreTest, FolderRenameReplacesAStaleRowAtANewPath) {
    CTSyncFile table;
    ASSERT_EQ(table.ConnectDB(), 0);
    for (const TSyncFile& file :
         {MakeFile(1, L".\\a\\x"), MakeFile(2, L".\\b\\x"), MakeFile(3, L".\\b\\y")}) {
        ASSERT_EQ(table.SetFileInfo(file), 0);
    }
    ASSERT_EQ(table.FolderRename(L".\\b\\", L".\\a\\"), 0);
    table.Disconnect();
    std::vector<std::pair<int, std::wstring>> rows;
    for (const TSyncFile& file : StoredFiles()) {
        rows.emplace_back(file.iId, file.strRelativePath);
    }
    EXPECT_EQ(rows, (std::vector<std::pair<int, std::wstring>>{{1, L".\\b\\x"}, {3, L".\\b\\y"}}));
}

TEST_F(TableStoreTest, TasksRoundTripAndKeepTheirKeys) {
    CSyncingTask table;
    ASSERT_EQ(table.ConnectDB(), 0);
    TComand task = MakeTask(7, L".\\t");
    task.iIdKey = 4;
    task.statement = "free text";
    task.tSyncFile = FullFile();
    ASSERT_EQ(table.AddTaskInfo(task), 0);
    EXPECT_EQ(table.AddTaskInfo(task), SQLITE_CONSTRAINT) << "a key is stored once";

    TComand read;
    ASSERT_EQ(table.GetASyncingTask(4, read), 0);
    EXPECT_EQ(read.iIdKey, 4);
    EXPECT_EQ(read.iType, task.iType);
    EXPECT_EQ(read.iOper, task.iOper);
    EXPECT_EQ(read.strSize, task.strSize);
    EXPECT_EQ(read.statement, "free text");
    EXPECT_TRUE(SameFile(read.tSyncFile, FullFile()));
    EXPECT_EQ(table.GetASyncingTask(5, read), DB_RESULT_MISSING);

    task.strSize = "200";
    ASSERT_EQ(table.UpdateByIdKey(4, task), 0);
    ASSERT_EQ(table.UpdateByIdKey(9, task), 0) << "a task missing from the table is stored";
    std::vector<TComand> all;
    ASSERT_EQ(table.GetAllSyncingTask(all), 0);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].strSize, "200");
    EXPECT_EQ(all[1].iIdKey, 9);

    ASSERT_EQ(table.DelByIdKey(4), 0);
    ASSERT_EQ(table.DelByIdKey(4), 0);
    all.clear();
    ASSERT_EQ(table.GetAllSyncingTask(all), 0);
    EXPECT_EQ(all.size(), 1u);
    table.Disconnect();
}

TEST_F(TableStoreTest, TaskArrayIsStoredWhollyOrNotAtAll) {
    CSyncingTask table;
    ASSERT_EQ(table.ConnectDB(), 0);
    std::vector<TComand> tasks = {MakeTask(1, L".\\a"), MakeTask(2, L".\\b"), MakeTask(3, L".\\c")};
    for (int i = 0; i < 3; ++i) {
        tasks[i].iIdKey = i + 1;
    }
    tasks[2].iIdKey = 1;  // a key twice: the whole array is refused
    EXPECT_EQ(table.AddTaskArrayInfo(tasks), SQLITE_CONSTRAINT);
    std::vector<TComand> all;
    ASSERT_EQ(table.GetAllSyncingTask(all), 0);
    EXPECT_TRUE(all.empty());

    tasks[2].iIdKey = 3;
    ASSERT_EQ(table.AddTaskArrayInfo(tasks), 0);
    ASSERT_EQ(table.GetAllSyncingTask(all), 0);
    EXPECT_EQ(all.size(), 3u);
    table.Disconnect();
}

// The client looks entries up by the task key its message carries; keys of tasks start again
// in every engine run, so the newest entry of that task is the one meant.
TEST_F(TableStoreTest, FailAndCompletedEntriesAreFoundByTheNewestTaskKey) {
    CSyncFail fails;
    CSyncCompleted completed;
    ASSERT_EQ(fails.ConnectDB(), 0);
    ASSERT_EQ(completed.ConnectDB(), 0);
    for (int entry = 1; entry <= 3; ++entry) {
        SyncFail fail;
        fail.errcode = 9000 + entry;
        fail.iReTry = 1;
        fail.iFailAutoKey = entry;
        fail.tComand = MakeTask(entry, L".\\f" + std::to_wstring(entry));
        fail.tComand.iIdKey = entry == 2 ? 7 : 1;
        ASSERT_EQ(fails.AddFailInfo(fail), 0);
        SyncCompleted done;
        done.iCmpdAutoKey = entry;
        done.tComand = fail.tComand;
        ASSERT_EQ(completed.AddInfo(done), 0);
    }
    SyncFail fail;
    ASSERT_EQ(fails.GetASyncFail(1, fail), 0);
    EXPECT_EQ(fail.iFailAutoKey, 3);
    EXPECT_EQ(fail.errcode, 9003);
    EXPECT_EQ(fail.tComand.tSyncFile.strRelativePath, L".\\f3");
    EXPECT_EQ(fails.GetASyncFail(2, fail), DB_RESULT_MISSING);
    SyncCompleted done;
    ASSERT_EQ(completed.GetASyncCompleted(7, done), 0);
    EXPECT_EQ(done.iCmpdAutoKey, 2);

    SyncFail again;
    again.iFailAutoKey = 3;
    EXPECT_EQ(fails.AddFailInfo(again), SQLITE_CONSTRAINT);
    ASSERT_EQ(fails.DelBy(3), 0);
    ASSERT_EQ(completed.DelByKey(1), 0);
    std::vector<SyncFail> failList;
    std::vector<SyncCompleted> doneList;
    ASSERT_EQ(fails.GetFailArr(failList), 0);
    ASSERT_EQ(completed.GetArr(doneList), 0);
    ASSERT_EQ(failList.size(), 2u);
    EXPECT_EQ(failList[1].iFailAutoKey, 2);
    ASSERT_EQ(doneList.size(), 2u);
    EXPECT_EQ(doneList[0].iCmpdAutoKey, 2);
    fails.Disconnect();
    completed.Disconnect();
}

TEST_F(TableStoreTest, AccountConfigAndFoldersRoundTrip) {
    CUserInfo user;
    UserInfo info;
    ASSERT_EQ(user.ConnectDB(), 0);
    EXPECT_EQ(user.GetUserInfo(info), DB_RESULT_MISSING);
    info = {"uid", "alice", "cGFzcw==", "1", "token", "push", "1024", "web"};
    ASSERT_EQ(user.SetUserInfo(info), 0);
    info.strToken = "token2";
    ASSERT_EQ(user.SetUserInfo(info), 0);
    UserInfo read;
    ASSERT_EQ(user.GetUserInfo(read), 0);
    user.Disconnect();
    EXPECT_EQ(read.strUserId, "uid");
    EXPECT_EQ(read.strAccount, "alice");
    EXPECT_EQ(read.strPassword, "cGFzcw==");
    EXPECT_EQ(read.strToken, "token2");
    EXPECT_EQ(read.strPersonalSpace, "1024");
    EXPECT_EQ(read.strWebToken, "web");

    CSystemInfo config;
    ASSERT_EQ(config.ConnectDB(), 0);
    std::wstring value = L"untouched";
    EXPECT_EQ(config.GetConfig("SyncDir", value), DB_RESULT_MISSING);
    EXPECT_EQ(value, L"untouched");
    ASSERT_EQ(config.SetConfig("SyncDir", L"/home/ü/Corvena"), 0);
    ASSERT_EQ(config.SetConfig("SyncDir", L"/home/ü/Other"), 0);
    ASSERT_EQ(config.GetConfig("SyncDir", value), 0);
    EXPECT_EQ(value, L"/home/ü/Other");
    config.Disconnect();

    CSyncFolder folders;
    ASSERT_EQ(folders.ConnectDB(), 0);
    ASSERT_EQ(folders.AddSyncFolder({12, L"Fotos", 1}), 0);
    ASSERT_EQ(folders.AddSyncFolder({0, L"root", 0}), 0);
    ASSERT_EQ(folders.AddSyncFolder({12, L"Fotos", 2}), 0);  // a new choice for the folder
    std::vector<SyncFolder> read2;
    ASSERT_EQ(folders.GetSyncFolderArr(read2), 0);
    folders.Disconnect();
    ASSERT_EQ(read2.size(), 2u);
    EXPECT_EQ(read2[1].iFolderId, 12);
    EXPECT_EQ(read2[1].iCheckState, 2);
}

TEST_F(TableStoreTest, DropTableEmptiesTheNamedTableInWhicheverFile) {
    CTSyncFile files;
    CSystemInfo config;
    ASSERT_EQ(files.ConnectDB(), 0);
    ASSERT_EQ(files.SetFileInfo(MakeFile(1, L".\\a")), 0);
    ASSERT_EQ(config.ConnectDB(), 0);
    ASSERT_EQ(config.SetConfig("Stop", L"1"), 0);

    // The client drops every table through whichever object it holds.
    EXPECT_EQ(config.DropTable("FileInfo"), 0);
    EXPECT_EQ(config.DropTable("NoSuchTable"), DB_RESULT_MISSING);
    EXPECT_EQ(files.DropTable("config"), 0);
    std::wstring value;
    EXPECT_EQ(config.GetConfig("Stop", value), DB_RESULT_MISSING);
    EXPECT_EQ(files.SetFileInfo(MakeFile(2, L".\\b")), 0) << "the table is still there";
    files.Disconnect();
    config.Disconnect();
    ASSERT_EQ(StoredFiles().size(), 1u);
    EXPECT_NE(LogText().find("no table named (NoSuchTable)"), std::string::npos);
}

TEST_F(TableStoreTest, TablesLieInTheirFilesPrivateToTheUser) {
    CTSyncFile files;
    CSyncFail fails;
    CUserInfo user;
    for (CDbBase* table : std::initializer_list<CDbBase*>{&files, &fails, &user}) {
        ASSERT_EQ(table->ConnectDB(), 0);
        table->Disconnect();
    }
    EXPECT_EQ(TablesOf("syncFile.db"), (std::vector<std::string>{"FileInfo"}));
    EXPECT_EQ(TablesOf("Sync.db"),
              (std::vector<std::string>{"FailSync", "SyncCompleted", "SyncFolder", "SyncingTask"}));
    EXPECT_EQ(TablesOf("User.db"), (std::vector<std::string>{"USERINFO", "config"}));
    namespace fs = std::filesystem;
    for (const char* name : {"syncFile.db", "Sync.db", "User.db"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(fs::status(AccountDir() / name).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
    }
    EXPECT_EQ(fs::status(AccountDir()).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(TableStoreTest, OperationsWithoutConnectFailAndNothingIsWritten) {
    CTSyncFile table;
    EXPECT_EQ(table.SetFileInfo(MakeFile(1, L".\\a")), SQLITE_MISUSE);
    ASSERT_EQ(table.ConnectDB(), 0);
    ASSERT_EQ(table.Disconnect(), 0);
    EXPECT_EQ(table.SetFileInfo(MakeFile(1, L".\\a")), SQLITE_MISUSE);
    EXPECT_TRUE(StoredFiles().empty());
}

TEST_F(TableStoreTest, AccountsKeepTheirOwnFilesAndHostileNamesAreRefused) {
    CTSyncFile table;
    ASSERT_EQ(table.ConnectDB(), 0);
    ASSERT_EQ(table.SetFileInfo(MakeFile(1, L".\\tester's")), 0);
    table.Disconnect();

    CDbBase::SetAccount("other");
    EXPECT_TRUE(StoredFiles().empty());
    for (const char* hostile : {"", "..", ".", "../tester", "a/b"}) {
        SCOPED_TRACE(hostile);
        CDbBase::SetAccount(hostile);
        EXPECT_EQ(table.ConnectDB(), SQLITE_CANTOPEN);
        table.Disconnect();
    }
    EXPECT_NE(LogText().find("no usable account"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(home.path() / "data" / "tester"));

    CDbBase::SetAccount(store_test::kAccount);
    ASSERT_EQ(StoredFiles().size(), 1u);
}

// Without an account set, the one the desktop client remembers in config.ini is used, and
// kept for the process even when config.ini changes afterwards.
TEST_F(TableStoreTest, TheAccountDefaultsToTheRememberedUser) {
    CGlobalSetting setting;
    setting.m_wstrUser = L"remembered";
    ASSERT_EQ(setting.Save(L"config.ini"), 0);
    CDbBase::SetAccount("");
    CSystemInfo config;
    ASSERT_EQ(config.ConnectDB(), 0);
    ASSERT_EQ(config.SetConfig("Stop", L"1"), 0);
    config.Disconnect();
    EXPECT_EQ(CDbBase::GetAccount(), "remembered");
    EXPECT_TRUE(std::filesystem::exists(home.path() / "data" / "user" / "remembered" / "User.db"));

    setting.m_wstrUser = L"someone-else";
    ASSERT_EQ(setting.Save(L"config.ini"), 0);
    ASSERT_EQ(config.ConnectDB(), 0);
    std::wstring value;
    EXPECT_EQ(config.GetConfig("Stop", value), 0);
    config.Disconnect();
    EXPECT_EQ(CDbBase::GetAccount(), "remembered");
}

}  // namespace
