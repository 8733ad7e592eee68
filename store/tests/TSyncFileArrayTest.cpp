// The engine's local file table: the first-row rules, memory against store, failures and their
// log lines, and a random run against a plain vector model (the replayable seed is printed),
// snapshots held across later changes included.

#include <sqlite3.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>

#include "store/TSyncFileArray.h"
#include "store/tablestore/TSyncFile.h"
#include "store/tests/StoreTestSupport.h"
#include "testing/FileText.h"
#include "testing/PackedLists.h"

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

TEST_F(TSyncFileArrayTest, LookupsFindRowsByIdPathAndName) {
    ASSERT_EQ(Table()->Add(MakeFile(1, L".\\same")), 0);
    ASSERT_EQ(Table()->Add(MakeFile(2, L".\\dup\\same")), 0);

    TSyncFile out;
    ASSERT_TRUE(Table()->GetSyncFile(std::wstring(L".\\same"), out));
    EXPECT_EQ(out.iId, 1);
    EXPECT_EQ(Table()->GetSyncFileID(L".\\same"), 1);
    ASSERT_TRUE(Table()->GetSyncFile(2, out));
    EXPECT_EQ(out.strRelativePath, L".\\dup\\same");
    EXPECT_EQ(Table()->GetSyncFileID(L".\\Same"), -1) << "comparison is case-sensitive";
    EXPECT_EQ(Table()->GetSyncFileID(L".\\sam"), -1);
    EXPECT_TRUE(Table()->Find(2));
    EXPECT_FALSE(Table()->Find(3));
    EXPECT_TRUE(Table()->Find(std::wstring(L".\\dup\\same")));

    std::vector<TSyncFile> named = {MakeFile(9, L".\\stale")};
    ASSERT_TRUE(Table()->GetSyncFile(std::wstring(L"same"), named));
    EXPECT_EQ(Paths(named), (std::vector<std::wstring>{L".\\same", L".\\dup\\same"}));
    EXPECT_FALSE(Table()->GetSyncFile(std::wstring(L"none"), named));
    EXPECT_TRUE(named.empty());

    ASSERT_EQ(Table()->Delete(1), 0);
    EXPECT_EQ(Table()->GetSyncFileID(L".\\same"), -1);
    EXPECT_FALSE(Table()->Find(1));
    EXPECT_EQ(Paths(StoredFiles()), Paths(Table()->GetSyncFile()));
}

// A stale row and a new record of one item must never stand side by side: the comparison
// would take the one left unmatched for a deletion.
TEST_F(TSyncFileArrayTest, ARecordTakingAnIdOrAPathReplacesItsRowAlsoAfterReload) {
    struct Case {
        const char* why;
        std::function<int()> write;
        std::vector<std::wstring> paths;  // the rows in memory afterwards, in order
        std::vector<int> ids;
        std::vector<std::wstring> stored;  // when the store holds other rows than memory
    };
    const std::vector<TSyncFile> range = {MakeFile(4, L".\\a"), MakeFile(4, L".\\moved")};
    const std::vector<Case> cases = {
        {"an add with a known id",
         [] { return Table()->Add(MakeFile(1, L".\\a2")); },
         {L".\\b", L".\\c", L".\\a2"},
         {2, 3, 1},
         {}},
        {"an add at a known path",
         [] { return Table()->Add(MakeFile(7, L".\\b")); },
         {L".\\a", L".\\c", L".\\b"},
         {1, 3, 7},
         {}},
        {"an add with one row's id and another's path",
         [] { return Table()->Add(MakeFile(1, L".\\c")); },
         {L".\\b", L".\\c"},
         {2, 1},
         {}},
        {"the same record twice",
         [] { return Table()->Add(MakeFile(2, L".\\b")); },
         {L".\\a", L".\\c", L".\\b"},
         {1, 3, 2},
         {}},
        {"a range whose rows take each other's places",
         [&] { return Table()->Add(range.begin(), range.end()); },
         {L".\\b", L".\\c", L".\\moved"},
         {2, 3, 4},
         {}},
        {"a modify onto another row's path",
         [] { return Table()->Modify(1, MakeFile(1, L".\\c")); },
         {L".\\c", L".\\b"},
         {1, 2},
         {}},
        {"a modify of an id memory lacks, at a known path",
         [] { return Table()->Modify(9, MakeFile(9, L".\\a")); },
         {L".\\b", L".\\c"},
         {2, 3},
         {L".\\b", L".\\c", L".\\a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        for (const TSyncFile& row : StoredFiles()) {
            ASSERT_EQ(Table()->Delete(row.iId), 0);
        }
        ASSERT_EQ(Table()->ReLoad(), 0);
        for (const TSyncFile& file :
             {MakeFile(1, L".\\a"), MakeFile(2, L".\\b"), MakeFile(3, L".\\c")}) {
            ASSERT_EQ(Table()->Add(file), 0);
        }
        ASSERT_EQ(c.write(), 0);

        const std::vector<TSyncFile> rows = Table()->GetSyncFile();
        EXPECT_EQ(Paths(rows), c.paths);
        std::vector<int> ids;
        for (const TSyncFile& row : rows) {
            ids.push_back(row.iId);
        }
        EXPECT_EQ(ids, c.ids);
        const std::vector<std::wstring>& stored = c.stored.empty() ? c.paths : c.stored;
        EXPECT_EQ(Paths(StoredFiles()), stored);
        ASSERT_EQ(Table()->ReLoad(), 0);
        EXPECT_EQ(Paths(Table()->GetSyncFile()), stored) << "after reload";
    }
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
    EXPECT_TRUE(Table()->IsLoaded());
    EXPECT_NE(Table()->ReLoad(), 0);
    EXPECT_EQ(Table()->GetSyncFile().size(), 3u) << "a failed reload keeps the rows held";
    EXPECT_FALSE(Table()->IsLoaded());
    EXPECT_NE(LogText().find("Error: CTSyncFileArray::GetFileInfo Failed. nRet = (1)"),
              std::string::npos);
}

// The pages that hold FileInfo's rows (not its indexes), found with SQLite's page statistics.
std::vector<int> RowPages(const std::filesystem::path& file, int& pageSize) {
    sqlite3* db = nullptr;
    std::vector<int> pages;
    EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &stmt, nullptr);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    pageSize = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_prepare_v2(db,
                       "SELECT pageno FROM dbstat WHERE name = 'FileInfo' AND pagetype = 'leaf'",
                       -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        pages.push_back(sqlite3_column_int(stmt, 0));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return pages;
}

// A comparison against an emptied table would take every item for new on both sides: a load
// that fails keeps what memory held, and says the table is not to be compared.
TEST_F(TSyncFileArrayTest, ALoadOfADamagedFileKeepsTheRowsHeld) {
    std::vector<TSyncFile> rows;
    for (int id = 1; id <= 300; ++id) {
        rows.push_back(MakeFile(id, L".\\some\\longer\\path\\file" + std::to_wstring(id)));
    }
    ASSERT_EQ(Table()->Add(rows.begin(), rows.end()), 0);
    ASSERT_EQ(Table()->ReLoad(), 0);
    ASSERT_TRUE(Table()->IsLoaded());
    const auto closeFiles = [] {
        CDbBase::SetAccount("elsewhere");  // closes the files: all rows are in the .db file
        CDbBase::SetAccount(store_test::kAccount);
    };
    closeFiles();

    const std::filesystem::path path = AccountDir() / "syncFile.db";
    const std::string intact = testing_support::ReadWholeFile(path);
    int pageSize = 0;
    const std::vector<int> pages = RowPages(path, pageSize);
    ASSERT_GT(pages.size(), 2u);
    std::string damaged = intact;
    for (int page : pages) {
        for (int i = 0; i < pageSize; ++i) {
            damaged[std::size_t(page - 1) * pageSize + i] = static_cast<char>(i * 7);
        }
    }
    testing_support::WriteWholeFile(path, damaged);

    struct Case {
        const char* why;
        std::function<int()> load;
    };
    const Case cases[] = {
        {"a reload", [] { return Table()->ReLoad(); }},
        // The rename finds no row below the folder through the path index, so it succeeds
        // without reading a damaged page; the reload after it fails.
        {"the reload after a folder rename",
         [] { return Table()->UpdateFolderName(L".\\renamed\\", L".\\empty\\"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(c.load(), SQLITE_CORRUPT);
        EXPECT_EQ(Table()->GetSyncFile().size(), rows.size());
        EXPECT_EQ(Table()->GetSyncFileID(L".\\some\\longer\\path\\file300"), 300);
        EXPECT_FALSE(Table()->IsLoaded());
    }
    const std::string log = LogText();
    const std::string failed =
        "Error: the file table could not be loaded (11); its 300 rows in "
        "memory are kept and comparisons wait for a reload";
    const auto first = log.find(failed);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find(failed, first + 1), std::string::npos) << "both loads failed";
    EXPECT_EQ(log.find("FolderRename failed"), std::string::npos) << "the rename itself succeeded";

    closeFiles();
    testing_support::WriteWholeFile(path, intact);
    ASSERT_EQ(Table()->ReLoad(), 0);
    EXPECT_TRUE(Table()->IsLoaded());
    EXPECT_EQ(Table()->GetSyncFile().size(), rows.size());
    Table()->Clear();
    EXPECT_FALSE(Table()->IsLoaded()) << "an emptied memory is not the table either";
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
    TSyncFile moved;
    ASSERT_TRUE(Table()->GetSyncFile(3, moved));
    EXPECT_EQ(moved.strRelativePath, L".\\again");
    EXPECT_EQ(Table()->GetSyncFileID(L".\\r\\3"), -1);
    EXPECT_EQ(Table()->GetSyncFile().back().iId, 3);
    EXPECT_EQ(Paths(StoredFiles()), Paths(Table()->GetSyncFile()));
}

// Random operations against plain vectors with the same rules: one row per id and per path,
// a record that takes either replaces the row that had it.
class Model {
  public:
    std::vector<TSyncFile> memory;
    std::vector<TSyncFile> store;

    static std::vector<TSyncFile>::iterator First(std::vector<TSyncFile>& rows, int id) {
        return std::find_if(rows.begin(), rows.end(),
                            [id](const TSyncFile& f) { return f.iId == id; });
    }
    // Removes the rows other than keep with the record's id or path.
    static void EraseTaken(std::vector<TSyncFile>& rows, const TSyncFile& f, int keepId) {
        std::erase_if(rows, [&](const TSyncFile& row) {
            return row.iId != keepId &&
                   (row.iId == f.iId || row.strRelativePath == f.strRelativePath);
        });
    }
    static void Put(std::vector<TSyncFile>& rows, const TSyncFile& f) {
        EraseTaken(rows, f, INT_MIN);
        rows.push_back(f);
    }
    void Add(const TSyncFile& f) {
        Put(memory, f);
        Put(store, f);
    }
    void Modify(const TSyncFile& f) {
        for (auto* rows : {&memory, &store}) {
            auto row = First(*rows, f.iId);
            if (row == rows->end()) {
                EraseTaken(*rows, f, INT_MIN);
                if (rows == &store) {
                    rows->push_back(f);
                }
                continue;
            }
            EraseTaken(*rows, f, f.iId);
            *First(*rows, f.iId) = f;
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
    static bool Below(const TSyncFile& f, const std::wstring& prefix) {
        return f.strRelativePath.compare(0, prefix.size(), prefix) == 0;
    }
    void Rename(const std::wstring& newPrefix, const std::wstring& oldPrefix) {
        std::vector<std::wstring> newPaths;
        for (const TSyncFile& f : store) {
            if (Below(f, oldPrefix)) {
                newPaths.push_back(newPrefix + f.strRelativePath.substr(oldPrefix.size()));
            }
        }
        std::erase_if(store, [&](const TSyncFile& f) {
            return !Below(f, oldPrefix) &&
                   std::find(newPaths.begin(), newPaths.end(), f.strRelativePath) != newPaths.end();
        });
        for (TSyncFile& f : store) {
            if (Below(f, oldPrefix)) {
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
    // A snapshot is held across the steps that follow it, until the next one replaces it.
    std::shared_ptr<const CPackedFiles> snapshot;
    std::vector<TSyncFile> snapshotModel;
    for (int step = 0; step < 400; ++step) {
        switch (pick(8)) {
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
                const bool nested = from != to && (from.starts_with(to) || to.starts_with(from));
                ASSERT_EQ(Table()->UpdateFolderName(to, from), nested ? DB_RESULT_MISSING : 0);
                if (!nested) {
                    model.Rename(to, from);
                }
                break;
            }
            case 6:
                snapshot = Table()->Snapshot();
                snapshotModel = model.memory;
                break;
            default:
                ASSERT_EQ(Table()->ReLoad(), 0);
                model.memory = model.store;
        }
        SCOPED_TRACE("step " + std::to_string(step));
        ASSERT_EQ(Paths(Table()->GetSyncFile()), Paths(model.memory));
        if (snapshot != nullptr) {
            const std::vector<TSyncFile> held = testing_support::Unpacked(*snapshot);
            ASSERT_EQ(held.size(), snapshotModel.size());
            for (std::size_t i = 0; i < held.size(); ++i) {
                ASSERT_TRUE(SameFile(held[i], snapshotModel[i])) << "snapshot row " << i;
            }
        }
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
