// The engine's local file table: the first-row rules, memory against store, failures and their
// log lines, and a random run against a plain vector model (the replayable seed is printed).

#include <sqlite3.h>

#include <random>

#include "store/TSyncFileArray.h"
#include "store/tablestore/TSyncFile.h"
#include "store/tests/StoreTestSupport.h"

namespace {

using store_test::MakeFile;
using store_test::SameFile;

class TSyncFileArrayTest : public store_test::StoreTest {
  protected:
    void SetUp() override { ASSERT_EQ(Table()->ReLoad(), 0); }

    static CTSyncFileArray* Table() { return CTSyncFileArray::Get(); }

    // Makes every later statement on the table fail, as a damaged file would.
    void DropFileInfoBehindTheStoresBack() {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((AccountDir() / "syncFile.db").c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "DROP TABLE FileInfo", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
};

std::vector<std::wstring> Paths(const std::vector<TSyncFile>& files) {
    std::vector<std::wstring> paths;
    for (const TSyncFile& file : files) {
        paths.push_back(file.strRelativePath);
    }
    return paths;
}

TEST_F(TSyncFileArrayTest, LookupsAnswerWithTheFirstRowInOrder) {
    ASSERT_EQ(Table()->Add(MakeFile(1, L".\\same")), 0);
    TSyncFile second = MakeFile(2, L".\\same");
    second.strMD5 = "second";
    ASSERT_EQ(Table()->Add(second), 0);
    ASSERT_EQ(Table()->Add(MakeFile(1, L".\\dup\\same")), 0);

    TSyncFile out;
    ASSERT_TRUE(Table()->GetSyncFile(std::wstring(L".\\same"), out));
    EXPECT_EQ(out.iId, 1);
    EXPECT_EQ(Table()->GetSyncFileID(L".\\same"), 1);
    ASSERT_TRUE(Table()->GetSyncFile(1, out));
    EXPECT_EQ(out.strRelativePath, L".\\same");
    EXPECT_EQ(Table()->GetSyncFileID(L".\\Same"), -1) << "comparison is case-sensitive";
    EXPECT_EQ(Table()->GetSyncFileID(L".\\sam"), -1);
    EXPECT_TRUE(Table()->Find(2));
    EXPECT_FALSE(Table()->Find(3));
    EXPECT_TRUE(Table()->Find(std::wstring(L".\\dup\\same")));

    std::vector<TSyncFile> named = {MakeFile(9, L".\\stale")};
    ASSERT_TRUE(Table()->GetSyncFile(std::wstring(L"same"), named));
    EXPECT_EQ(Paths(named), (std::vector<std::wstring>{L".\\same", L".\\same", L".\\dup\\same"}));
    EXPECT_FALSE(Table()->GetSyncFile(std::wstring(L"none"), named));
    EXPECT_TRUE(named.empty());

    // The first row with the id goes first; the second takes its place in the lookups.
    ASSERT_EQ(Table()->Delete(1), 0);
    EXPECT_EQ(Table()->GetSyncFileID(L".\\same"), 2);
    ASSERT_TRUE(Table()->GetSyncFile(1, out));
    EXPECT_EQ(out.strRelativePath, L".\\dup\\same");
    EXPECT_EQ(Paths(StoredFiles()), Paths(Table()->GetSyncFile()));
}

TEST_F(TSyncFileArrayTest, ModifyOverwritesInPlaceAndWritesUnknownIdsToTheStoreOnly) {
    ASSERT_EQ(Table()->Add(MakeFile(1, L".\\a")), 0);
    ASSERT_EQ(Table()->Add(MakeFile(2, L".\\b")), 0);
    ASSERT_EQ(Table()->Modify(1, MakeFile(1, L".\\a2")), 0);
    EXPECT_EQ(Paths(Table()->GetSyncFile()), (std::vector<std::wstring>{L".\\a2", L".\\b"}));
    EXPECT_EQ(Table()->GetSyncFileID(L".\\a"), -1);
    EXPECT_EQ(Table()->GetSyncFileID(L".\\a2"), 1);

    ASSERT_EQ(Table()->Modify(7, MakeFile(7, L".\\c")), 0);
    EXPECT_FALSE(Table()->Find(7)) << "memory is unchanged";
    ASSERT_EQ(Table()->ReLoad(), 0);
    EXPECT_EQ(Table()->GetSyncFileID(L".\\c"), 7) << "but the store has the row";
}

TEST_F(TSyncFileArrayTest, FormsWithoutEffectChangeNothing) {
    ASSERT_EQ(Table()->Add(MakeFile(1, L".\\a")), 0);
    const std::vector<TSyncFile> rows = Table()->GetSyncFile();
    EXPECT_EQ(Table()->Delete(L".\\a", 1), 0);
    EXPECT_EQ(Table()->Delete(L".\\a", L"a"), 0);
    EXPECT_EQ(Table()->Delete(rows.begin(), rows.end()), 0);
    EXPECT_EQ(Table()->Modify(L".\\a", L"a", MakeFile(1, L".\\b")), 0);
    EXPECT_EQ(Paths(Table()->GetSyncFile()), Paths(rows));
    EXPECT_EQ(Paths(StoredFiles()), Paths(rows));
}

TEST_F(TSyncFileArrayTest, ClearForgetsMemoryOnlyAndReloadBringsTheRowsBack) {
    ASSERT_EQ(Table()->Add(MakeFile(1, L".\\a")), 0);
    Table()->Clear();
    EXPECT_TRUE(Table()->GetSyncFile().empty());
    EXPECT_TRUE(Table()->Refresh());
    EXPECT_TRUE(Table()->Find(1));
}

TEST_F(TSyncFileArrayTest, FolderRenameRewritesTheRowsBelowAndReloads) {
    ASSERT_EQ(Table()->Add(MakeFile(1, L".\\old", 0)), 0);
    ASSERT_EQ(Table()->Add(MakeFile(2, L".\\old\\x")), 0);
    ASSERT_EQ(Table()->Add(MakeFile(3, L".\\older\\y")), 0);
    ASSERT_EQ(Table()->Modify(1, MakeFile(1, L".\\new", 0)), 0);
    ASSERT_EQ(Table()->UpdateFolderName(L".\\new\\", L".\\old\\"), 0);
    EXPECT_EQ(Paths(Table()->GetSyncFile()),
              (std::vector<std::wstring>{L".\\new", L".\\new\\x", L".\\older\\y"}));
    EXPECT_EQ(Table()->GetSyncFileID(L".\\new\\x"), 2);
}

TEST_F(TSyncFileArrayTest, CheckCompleteSyncComparesTheFiveFields) {
    const TSyncFile row = MakeFile(1, L".\\a");
    ASSERT_EQ(Table()->Add(row), 0);
    struct Case {
        std::function<void(TSyncFile&)> change;
        int expected;
        const char* why;
    };
    const std::vector<Case> cases = {
        {[](TSyncFile&) {}, 1, "the same file"},
        {[](TSyncFile& f) { f.strMD5 = "other"; }, 1, "MD5 is not compared"},
        {[](TSyncFile& f) { f.iId = 5; }, 1, "the id is not compared"},
        {[](TSyncFile& f) { f.strModifyTime = "2000-01-01 00:00:00"; }, 0, "modify time"},
        {[](TSyncFile& f) { f.strServerTime = "1"; }, 0, "server time"},
        {[](TSyncFile& f) { f.iType = 0; }, 0, "type"},
        {[](TSyncFile& f) { f.strName = L"b"; }, 0, "name"},
        {[](TSyncFile& f) { f.strRelativePath = L".\\b"; }, 0, "path"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TSyncFile probe = row;
        c.change(probe);
        EXPECT_EQ(Table()->CheckCompleteSync(probe), c.expected);
    }
}

TEST_F(TSyncFileArrayTest, StoreFailuresLeaveMemoryAsTheStoreIsAndAreLogged) {
    ASSERT_EQ(Table()->Add(MakeFile(1, L".\\a")), 0);
    DropFileInfoBehindTheStoresBack();

    EXPECT_NE(Table()->Add(MakeFile(2, L".\\b")), 0);
    EXPECT_NE(Table()->Modify(1, MakeFile(1, L".\\changed")), 0);
    EXPECT_NE(Table()->Delete(1), 0);
    EXPECT_EQ(Paths(Table()->GetSyncFile()), (std::vector<std::wstring>{L".\\a"}));

    // A range keeps the rows it could not store.
    const std::vector<TSyncFile> range = {MakeFile(3, L".\\c"), MakeFile(4, L".\\d")};
    EXPECT_NE(Table()->Add(range.begin(), range.end()), 0);
    EXPECT_EQ(Table()->GetSyncFile().size(), 3u);

    const std::string log = LogText();
    for (const char* line :
         {"Error: CTSyncFileArray::Add SetFileInfo Failed. nRet = (1)", "TSyncFile [iId = (2)",
          "CTSyncFileArray::Modify FilReplace Failed. nRet = (1)",
          "Error: CTSyncFileArray::Delete Failed, File ID = (1)",
          "Error: CTSyncFileArray::Add Failed. nRet = (1)"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
    EXPECT_NE(Table()->ReLoad(), 0);
    EXPECT_TRUE(Table()->GetSyncFile().empty()) << "a failed reload leaves no partial rows";
    EXPECT_NE(LogText().find("Error: CTSyncFileArray::GetFileInfo Failed. nRet = (1)"),
              std::string::npos);
}

TEST_F(TSyncFileArrayTest, ConnectFailuresAreLoggedAndChangeNothing) {
    ASSERT_EQ(Table()->Add(MakeFile(1, L".\\a")), 0);
    CDbBase::SetAccount("");
    EXPECT_EQ(Table()->Add(MakeFile(2, L".\\b")), SQLITE_CANTOPEN);
    EXPECT_EQ(Table()->Delete(1), SQLITE_CANTOPEN);
    EXPECT_EQ(Table()->UpdateFolderName(L".\\b\\", L".\\a\\"), SQLITE_CANTOPEN);
    EXPECT_EQ(Paths(Table()->GetSyncFile()), (std::vector<std::wstring>{L".\\a"}));
    const std::string log = LogText();
    for (const char* line :
         {"Error: CTSyncFileArray::Add ConnectDB Failed. nRet = (14)",
          "CTSyncFileArray::Delete ConnectDB Failed. nRet = (14)",
          "Error: CTSyncFileArray::UpdateFolder ConnectDB failed. nRet = (14)"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(Table()->ReLoad(), SQLITE_CANTOPEN);
    EXPECT_NE(LogText().find("Error: ConnectDB CTSyncFileArray Failed. nRet = (14)"),
              std::string::npos);
}

// Removed rows leave gaps that are closed once they make up half of the table.
TEST_F(TSyncFileArrayTest, ManyRemovalsKeepOrderAndLookups) {
    std::vector<TSyncFile> rows;
    for (int id = 1; id <= 3000; ++id) {
        rows.push_back(MakeFile(id, L".\\r\\" + std::to_wstring(id)));
    }
    ASSERT_EQ(Table()->Add(rows.begin(), rows.end()), 0);
    for (int id = 3000; id >= 1; --id) {
        if (id % 3 != 0) {
            ASSERT_EQ(Table()->Delete(id), 0);
        }
    }
    const std::vector<TSyncFile> left = Table()->GetSyncFile();
    ASSERT_EQ(left.size(), 1000u);
    for (std::size_t i = 0; i < left.size(); ++i) {
        ASSERT_EQ(left[i].iId, static_cast<int>(3 * (i + 1)));
    }
    EXPECT_EQ(Table()->GetSyncFileID(L".\\r\\2999"), -1);
    EXPECT_EQ(Table()->GetSyncFileID(L".\\r\\2998"), -1);
    EXPECT_EQ(Table()->GetSyncFileID(L".\\r\\2803"), -1);
    EXPECT_EQ(Table()->GetSyncFileID(L".\\r\\2400"), 2400);
    ASSERT_EQ(Table()->Add(MakeFile(3, L".\\again")), 0);
    TSyncFile first;
    ASSERT_TRUE(Table()->GetSyncFile(3, first));
    EXPECT_EQ(first.strRelativePath, L".\\r\\3");
    EXPECT_EQ(Paths(StoredFiles()), Paths(Table()->GetSyncFile()));
}

// Random operations against a plain vector with the same first-row rules.
class Model {
  public:
    std::vector<TSyncFile> memory;
    std::vector<TSyncFile> store;

    static std::vector<TSyncFile>::iterator First(std::vector<TSyncFile>& rows, int id) {
        return std::find_if(rows.begin(), rows.end(),
                            [id](const TSyncFile& f) { return f.iId == id; });
    }
    void Add(const TSyncFile& f) {
        memory.push_back(f);
        store.push_back(f);
    }
    void Modify(const TSyncFile& f) {
        auto m = First(memory, f.iId);
        if (m != memory.end()) {
            *m = f;
        }
        auto s = First(store, f.iId);
        if (s != store.end()) {
            *s = f;
        } else {
            store.push_back(f);
        }
    }
    void Delete(int id) {
        for (auto* rows : {&memory, &store}) {
            auto it = First(*rows, id);
            if (it != rows->end()) {
                rows->erase(it);
            }
        }
    }
    void Rename(const std::wstring& newPrefix, const std::wstring& oldPrefix) {
        for (TSyncFile& f : store) {
            if (f.strRelativePath.compare(0, oldPrefix.size(), oldPrefix) == 0) {
                f.strRelativePath = newPrefix + f.strRelativePath.substr(oldPrefix.size());
            }
        }
        memory = store;
    }
};

TEST_F(TSyncFileArrayTest, RandomOperationsMatchAPlainModel) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    const std::vector<std::wstring> folders = {L".\\a", L".\\a\\b", L".\\ab", L".\\c"};
    auto randomFile = [&] {
        TSyncFile f = MakeFile(1 + pick(12), folders[pick(4)] + L"\\f" + std::to_wstring(pick(6)));
        f.strMD5 = std::to_string(pick(1000));
        return f;
    };
    Model model;
    for (int step = 0; step < 400; ++step) {
        switch (pick(7)) {
            case 0:
            case 1: {
                TSyncFile f = randomFile();
                ASSERT_EQ(Table()->Add(f), 0);
                model.Add(f);
                break;
            }
            case 2: {
                TSyncFile f = randomFile();
                ASSERT_EQ(Table()->Modify(f.iId, f), 0);
                model.Modify(f);
                break;
            }
            case 3: {
                int id = 1 + pick(12);
                ASSERT_EQ(Table()->Delete(id), 0);
                model.Delete(id);
                break;
            }
            case 4: {
                std::vector<TSyncFile> range = {randomFile(), randomFile()};
                ASSERT_EQ(Table()->Add(range.begin(), range.end()), 0);
                model.Add(range[0]);
                model.Add(range[1]);
                break;
            }
            case 5: {
                const std::wstring from = folders[pick(4)] + L"\\";
                const std::wstring to = folders[pick(4)] + L"\\";
                ASSERT_EQ(Table()->UpdateFolderName(to, from), 0);
                model.Rename(to, from);
                break;
            }
            default:
                ASSERT_EQ(Table()->ReLoad(), 0);
                model.memory = model.store;
        }
        SCOPED_TRACE("step " + std::to_string(step));
        ASSERT_EQ(Paths(Table()->GetSyncFile()), Paths(model.memory));
        for (int id = 1; id <= 12; ++id) {
            TSyncFile out;
            auto expected = Model::First(model.memory, id);
            ASSERT_EQ(Table()->GetSyncFile(id, out), expected != model.memory.end());
            if (expected != model.memory.end()) {
                ASSERT_TRUE(SameFile(out, *expected));
            }
        }
        const TSyncFile probe = randomFile();
        auto byPath = std::find_if(
            model.memory.begin(), model.memory.end(),
            [&](const TSyncFile& f) { return f.strRelativePath == probe.strRelativePath; });
        ASSERT_EQ(Table()->GetSyncFileID(probe.strRelativePath),
                  byPath == model.memory.end() ? -1 : byPath->iId);
    }
    ASSERT_EQ(Paths(StoredFiles()), Paths(model.store));
}

}  // namespace
