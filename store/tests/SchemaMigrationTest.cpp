// Table files written by an earlier release: opening one brings it up to the current schema in
// one transaction, keeping what it holds, and a step that cannot be made leaves the file as it
// was.

#include <sqlite3.h>

#include <filesystem>
#include <string>

#include "store/TSyncFileArray.h"
#include "store/tablestore/RecordColumns.h"
#include "store/tablestore/Schema.h"
#include "store/tablestore/SyncFail.h"
#include "store/tablestore/TSyncFile.h"
#include "store/tests/StoreTestSupport.h"
#include "testing/FileText.h"

namespace {

namespace fs = std::filesystem;
using store_test::MakeFile;

// Runs sql on the file with SQLite directly, as the earlier release or a test's surgery would.
void Exec(const fs::path& path, const std::string& sql) {
    fs::create_directories(path.parent_path());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
        << (error != nullptr ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

int ReadInt(const fs::path& path, const char* sql) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    int value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        value = sqlite3_column_int(stmt, 0);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}

// syncFile.db as schema 1 made it: rows may share an id or a path.
const std::string& SchemaOneFileTable() {
    static const std::string sql = "PRAGMA application_id=" + std::to_string(kDbApplicationId) +
                                   "; PRAGMA user_version=1; PRAGMA journal_mode=WAL;"
                                   "CREATE TABLE FileInfo(" +
                                   SyncFileColumnDefs("") +
                                   ") STRICT; CREATE INDEX FileInfo_iId ON FileInfo(iId);";
    return sql;
}

class SchemaMigrationTest : public store_test::StoreTest {
  protected:
    fs::path FileTable() const { return AccountDir() / "syncFile.db"; }
};

TEST_F(SchemaMigrationTest, DuplicateRowsOfSchemaOneLeaveTheNewestOfEachItem) {
    // In the order schema 1 added them; the comments say which row is the newest of its id,
    // then (among those) of its path.
    Exec(FileTable(), SchemaOneFileTable() +
                          "INSERT INTO FileInfo(iId, strRelativePath, strName) VALUES"
                          "(1, '.\\a', 'a'),"    // id 1 has a newer row
                          "(2, '.\\b', 'b'),"    // the newest of id 2, but .\b has a newer row
                          "(1, '.\\a2', 'a2'),"  // kept
                          "(3, '.\\c', 'c'),"    // id 3 has a newer row
                          "(5, '.\\b', 'b'),"    // kept
                          "(3, '.\\c', 'c'),"    // kept
                          "(4, '.\\d', 'd');");  // kept, never doubled

    ASSERT_EQ(CTSyncFileArray::Get()->ReLoad(), 0);
    std::vector<std::pair<int, std::wstring>> rows;
    for (const TSyncFile& file : CTSyncFileArray::Get()->GetSyncFile()) {
        rows.emplace_back(file.iId, file.strRelativePath);
    }
    EXPECT_EQ(rows, (std::vector<std::pair<int, std::wstring>>{
                        {1, L".\\a2"}, {5, L".\\b"}, {3, L".\\c"}, {4, L".\\d"}}));
    EXPECT_EQ(ReadInt(FileTable(), "PRAGMA user_version"), kDbSchemaVersion);
    EXPECT_NE(LogText().find("brought from schema 1 to " + std::to_string(kDbSchemaVersion)),
              std::string::npos);

    // The unique indexes hold from now on, for this process and for SQLite itself.
    ASSERT_EQ(CTSyncFileArray::Get()->Add(MakeFile(4, L".\\b")), 0);
    EXPECT_EQ(StoredFiles().size(), 3u);
    CDbBase::SetAccount("elsewhere");
    CDbBase::SetAccount(store_test::kAccount);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(FileTable().c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "INSERT INTO FileInfo(iId, strRelativePath) VALUES(1, '.\\x')",
                           nullptr, nullptr, nullptr),
              SQLITE_CONSTRAINT);
    sqlite3_close(db);
}

TEST_F(SchemaMigrationTest, TheOtherFilesOfSchemaOneKeepTheirRows) {
    {
        CSyncFail table;
        ASSERT_EQ(table.ConnectDB(), 0);
        SyncFail fail;
        fail.iFailAutoKey = 7;
        ASSERT_EQ(table.AddFailInfo(fail), 0);
        table.Disconnect();
    }
    CDbBase::SetAccount("elsewhere");
    Exec(AccountDir() / "Sync.db", "PRAGMA user_version=1");
    CDbBase::SetAccount(store_test::kAccount);

    CSyncFail table;
    ASSERT_EQ(table.ConnectDB(), 0);
    std::vector<SyncFail> fails;
    ASSERT_EQ(table.GetFailArr(fails), 0);
    table.Disconnect();
    ASSERT_EQ(fails.size(), 1u);
    EXPECT_EQ(fails[0].iFailAutoKey, 7);
    EXPECT_EQ(ReadInt(AccountDir() / "Sync.db", "PRAGMA user_version"), kDbSchemaVersion);
}

TEST_F(SchemaMigrationTest, AStepThatCannotBeMadeLeavesTheFileAsItWas) {
    // Schema 1 without its file table: the step has nothing to work on.
    Exec(FileTable(), "PRAGMA application_id=" + std::to_string(kDbApplicationId) +
                          "; PRAGMA user_version=1; PRAGMA journal_mode=WAL; "
                          "CREATE TABLE Other(x); INSERT INTO Other VALUES(1);");
    const std::string before = testing_support::ReadWholeFile(FileTable());

    CTSyncFile table;
    EXPECT_NE(table.ConnectDB(), 0);
    table.Disconnect();
    EXPECT_TRUE(testing_support::ReadWholeFile(FileTable()) == before) << "the file changed";
    EXPECT_NE(LogText().find("Error: cannot set up table file"), std::string::npos);
}

}  // namespace
