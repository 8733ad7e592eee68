// The fail and completed lists: keys that stay unique across runs and past failed writes, what
// counts as failed before, the fail event, and the rows the desktop client reads back.

#include <sqlite3.h>

#include "platform/SyncObjects.h"
#include "store/SyncCompletedArray.h"
#include "store/SyncFailArray.h"
#include "store/tablestore/SyncCompleted.h"
#include "store/tablestore/SyncFail.h"
#include "store/tests/StoreTestSupport.h"

namespace {

using store_test::MakeTask;

class FailCompletedArrayTest : public store_test::StoreTest {
  protected:
    void SetUp() override {
        ASSERT_EQ(Fails()->ReLoad(), 0);
        ASSERT_EQ(Completed()->ReLoad(), 0);
        while (plat::WaitForSingleObject(Fails()->GetEventHandle(), 0) == plat::WAIT_OBJECT_0) {
        }
    }

    static CSyncFailArray* Fails() { return CSyncFailArray::Get(); }
    static CSyncCompletedArray* Completed() { return CSyncCompletedArray::Get(); }

    void StoreFails(const std::vector<int>& keys) {
        CSyncFail table;
        ASSERT_EQ(table.ConnectDB(), 0);
        for (int key : keys) {
            SyncFail fail;
            fail.iFailAutoKey = key;
            // One item (service id 9) failed several times in an earlier run.
            fail.tComand = MakeTask(9, L".\\stored");
            ASSERT_EQ(table.AddFailInfo(fail), 0);
        }
        table.Disconnect();
    }

    std::vector<SyncCompleted> StoredCompleted() {
        CSyncCompleted table;
        std::vector<SyncCompleted> completed;
        EXPECT_EQ(table.ConnectDB(), 0);
        EXPECT_EQ(table.GetArr(completed), 0);
        table.Disconnect();
        return completed;
    }

    // Every later write to the lists' file fails, as on a damaged file.
    void BreakTable(const char* table) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((AccountDir() / "Sync.db").c_str(), &db), SQLITE_OK);
        const std::string sql = std::string("DROP TABLE ") + table;
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
};

TEST_F(FailCompletedArrayTest, FailKeysContinueAfterTheLargestStoredKey) {
    StoreFails({3, 7, 5});
    ASSERT_EQ(Fails()->ReLoad(), 0);
    TComand task = MakeTask(1, L".\\a");
    task.iIdKey = 12;
    int key = 0;
    ASSERT_EQ(Fails()->Add(9005, task, key), 0);
    EXPECT_EQ(key, 8);

    SyncFail stored;
    CSyncFail table;
    ASSERT_EQ(table.ConnectDB(), 0);
    ASSERT_EQ(table.GetASyncFail(12, stored), 0);
    table.Disconnect();
    EXPECT_EQ(stored.iFailAutoKey, 8);
    EXPECT_EQ(stored.errcode, 9005);
    EXPECT_EQ(stored.iReTry, 1);
    EXPECT_EQ(plat::WaitForSingleObject(Fails()->GetEventHandle(), 0), plat::WAIT_OBJECT_0);

    std::vector<SyncFail> all;
    Fails()->GetFialTask(all);
    EXPECT_EQ(all.size(), 4u);
}

TEST_F(FailCompletedArrayTest, AFailedInsertUsesUpItsKey) {
    TComand task = MakeTask(1, L".\\a");
    int first = 0;
    ASSERT_EQ(Fails()->Add(1, task, first), 0);
    BreakTable("FailSync");
    int key = 0;
    EXPECT_NE(Fails()->Add(2, task, key), 0);
    EXPECT_EQ(key, -1);
    EXPECT_EQ(plat::WaitForSingleObject(Fails()->GetEventHandle(), 0), plat::WAIT_OBJECT_0)
        << "only the first entry signals";
    EXPECT_EQ(plat::WaitForSingleObject(Fails()->GetEventHandle(), 0), plat::WAIT_TIMEOUT);
    const std::string log = LogText();
    EXPECT_NE(log.find("Error: CSyncFailArray::Add AddFailInfo Failed. nRet = (1)"),
              std::string::npos);
    EXPECT_NE(log.find("SyncFail [errcode = (2) iReTry = (1) iFailAutoKey = (" +
                       std::to_string(first + 1) + ")]"),
              std::string::npos);

    CDbBase::SetAccount("fresh");
    ASSERT_EQ(Fails()->Add(3, task, key), 0);
    EXPECT_EQ(key, first + 2) << "the key of the failed insert is not given again";
}

TEST_F(FailCompletedArrayTest, CheakSyncFailComparesTheTaskNotItsContent) {
    TComand failed = MakeTask(1, L".\\a\\b.txt", OPER_ADD);
    int key = 0;
    ASSERT_EQ(Fails()->Add(8002, failed, key), 0);
    struct Case {
        std::function<void(TComand&)> change;
        int expected;
        const char* why;
    };
    const std::vector<Case> cases = {
        {[](TComand&) {}, 1, "the same task"},
        {[](TComand& t) { t.strSize = "999"; }, 1, "size of the task"},
        {[](TComand& t) { t.iIdKey = 77; }, 1, "task key"},
        {[](TComand& t) { t.tSyncFile.strFileSize = "1"; }, 1, "file size"},
        {[](TComand& t) { t.tSyncFile.strMD5 = "other"; }, 1, "content changed, times did not"},
        {[](TComand& t) { t.iType = 0; }, 0, "origin"},
        {[](TComand& t) { t.iOper = OPER_DELETE; }, 0, "operation"},
        {[](TComand& t) { t.tSyncFile.strName = L"c.txt"; }, 0, "name"},
        {[](TComand& t) { t.tSyncFile.strServerTime = "1"; }, 0, "server time"},
        {[](TComand& t) { t.tSyncFile.strModifyTime = "x"; }, 0, "modify time"},
        {[](TComand& t) { t.tSyncFile.strRelativePath = L".\\b.txt"; }, 0, "path"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TComand probe = failed;
        c.change(probe);
        EXPECT_EQ(Fails()->CheakSyncFail(probe), c.expected);
    }
}

// An item fails again on each retry: its entry is replaced by the newer one (the newest key,
// the latest code), in the store too, and entries of other items stay.
TEST_F(FailCompletedArrayTest, ANewFailureOfAnItemReplacesItsEarlierEntries) {
    const TComand add = MakeTask(1, L".\\a\\b.txt", OPER_ADD);
    TComand rename = MakeTask(1, L".\\a\\b.txt", OPER_RENAME);
    rename.tSyncFile.dataExtension.dataReName.wstrNewName = L"c.txt";
    const auto renamedTo = [](const wchar_t* name) {
        return [name](TComand& t) { t.tSyncFile.dataExtension.dataReName.wstrNewName = name; };
    };
    struct Case {
        const TComand& first;
        std::function<void(TComand&)> change;
        bool replaces;
        const char* why;
    };
    const std::vector<Case> cases = {
        {add, [](TComand&) {}, true, "the same task"},
        {add, [](TComand& t) { t.iIdKey = 77; }, true, "queued again under a new task key"},
        {add, [](TComand& t) { t.tSyncFile.strModifyTime = "x"; }, true, "edited since"},
        {add, [](TComand& t) { t.tSyncFile.strMD5 = "other"; }, true, "new content"},
        {add, renamedTo(L"d.txt"), true, "an add with a stale rename name"},
        {add, [](TComand& t) { t.iType = 0; }, false, "origin"},
        {add, [](TComand& t) { t.iOper = OPER_DELETE; }, false, "operation"},
        {add, [](TComand& t) { t.tSyncFile.strRelativePath = L".\\a\\c.txt"; }, false, "path"},
        {add, [](TComand& t) { t.tSyncFile.iId = 2; }, false, "another item under the same path"},
        {add, [](TComand& t) { t.tSyncFile.iId = 0; }, true, "the item before its id was known"},
        {rename, [](TComand&) {}, true, "the same rename"},
        {rename, renamedTo(L"d.txt"), false, "a rename to another name"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.why);
        // Each case starts from an empty list, in a file of its own.
        CDbBase::SetAccount("replace" + std::to_string(i));
        Fails()->Clear();
        TComand first = c.first;
        TComand again = c.first;
        c.change(again);
        int firstKey = 0;
        int againKey = 0;
        ASSERT_EQ(Fails()->Add(9005, first, firstKey), 0);
        ASSERT_EQ(Fails()->Add(8002, again, againKey), 0);
        EXPECT_GT(againKey, firstKey);

        std::vector<SyncFail> inMemory;
        Fails()->GetFialTask(inMemory);
        ASSERT_EQ(Fails()->ReLoad(), 0);
        std::vector<SyncFail> stored;
        Fails()->GetFialTask(stored);
        for (const std::vector<SyncFail>* list : {&inMemory, &stored}) {
            ASSERT_EQ(list->size(), c.replaces ? 1u : 2u);
            EXPECT_EQ(list->back().iFailAutoKey, againKey);
            EXPECT_EQ(list->back().errcode, 8002);
        }
    }
}

// A list of an earlier run may hold several entries of one item: the next failure of the item
// replaces all of them.
TEST_F(FailCompletedArrayTest, ANewFailureReplacesEveryStoredEntryOfTheItem) {
    StoreFails({3, 4, 5});
    ASSERT_EQ(Fails()->ReLoad(), 0);
    TComand task = MakeTask(9, L".\\stored");
    int key = 0;
    ASSERT_EQ(Fails()->Add(9005, task, key), 0);
    ASSERT_EQ(Fails()->ReLoad(), 0);
    std::vector<SyncFail> all;
    Fails()->GetFialTask(all);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].iFailAutoKey, key);
    EXPECT_GT(key, 5);
    EXPECT_EQ(all[0].tComand.tSyncFile.iId, 9);
}

TEST_F(FailCompletedArrayTest, DeleteAndModifyOfFailEntries) {
    TComand task = MakeTask(1, L".\\a");
    TComand other = MakeTask(2, L".\\b");
    int first = 0;
    int second = 0;
    ASSERT_EQ(Fails()->Add(1, task, first), 0);
    ASSERT_EQ(Fails()->Add(2, other, second), 0);
    ASSERT_EQ(Fails()->Modify(second, 0), 0);
    ASSERT_EQ(Fails()->Delete(first), 0);
    std::vector<SyncFail> all = {SyncFail()};
    Fails()->GetFialTask(all);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].iFailAutoKey, second);
    EXPECT_EQ(all[0].iReTry, 0);

    ASSERT_EQ(Fails()->ReLoad(), 0);
    Fails()->GetFialTask(all);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].iReTry, 1) << "the retry marker lives in memory only";
    EXPECT_EQ(Fails()->Clear(), 0);
    Fails()->GetFialTask(all);
    EXPECT_TRUE(all.empty());
}

TEST_F(FailCompletedArrayTest, CompletedEntriesAreStoredWithKeysUniqueAcrossRuns) {
    TComand task = MakeTask(1, L".\\done");
    task.iIdKey = 4;
    task.statement = "abc";
    ASSERT_EQ(Completed()->Add(task), 0);
    ASSERT_EQ(Completed()->Add(task), 0);
    ASSERT_EQ(Completed()->ReLoad(), 0);  // a new run
    ASSERT_EQ(Completed()->Add(task), 0);
    std::vector<SyncCompleted> stored = StoredCompleted();
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[2].iCmpdAutoKey, stored[1].iCmpdAutoKey + 1);
    EXPECT_EQ(stored[2].tComand.iIdKey, 4);
    EXPECT_EQ(stored[2].tComand.statement, "0") << "the free text stays behind";

    ASSERT_EQ(Completed()->Delete(stored[0].iCmpdAutoKey), 0);
    EXPECT_EQ(StoredCompleted().size(), 2u);
}

TEST_F(FailCompletedArrayTest, CompletedWriteFailuresAreLoggedWithTheEntry) {
    BreakTable("SyncCompleted");
    TComand task = MakeTask(1, L".\\done");
    EXPECT_NE(Completed()->Add(task), 0);
    EXPECT_NE(Completed()->Delete(1), 0);
    const std::string log = LogText();
    EXPECT_NE(log.find("Error: CSyncCompletedArray::Add AddInfo failed nRet = (1)"),
              std::string::npos);
    EXPECT_NE(log.find("SyncCompleted [iCmpdAutoKey = ("), std::string::npos);
    EXPECT_NE(log.find("Error: CSyncCompletedArray::Delete DelByKey failed nRet = (1), "
                       "nCmpdID = (1)"),
              std::string::npos);
}

TEST_F(FailCompletedArrayTest, ReloadFailuresReportTheirCode) {
    CDbBase::SetAccount("");
    EXPECT_EQ(Fails()->ReLoad(), SQLITE_CANTOPEN);
    EXPECT_EQ(Completed()->ReLoad(), SQLITE_CANTOPEN);
    const std::string log = LogText();
    EXPECT_NE(log.find("Error: CSyncFailArray::ReLoad() ConnectDB Failed. nRet = (14)"),
              std::string::npos);
    EXPECT_NE(log.find("Error: CSyncCompletedArray::ReLoad ConnectDB failed nRet = (14)"),
              std::string::npos);
}

}  // namespace
