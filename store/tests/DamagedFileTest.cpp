// Hostile and damaged table files: each gives an error result and a log line, and the file is
// left exactly as it was. Files that vanish under an open connection are opened anew, and what
// a deleted file left behind never comes back into its successor.

#include <sqlite3.h>

#include <filesystem>
#include <functional>

#include "store/tablestore/SyncFail.h"
#include "store/tablestore/SystemInfo.h"
#include "store/tablestore/TSyncFile.h"
#include "store/tests/StoreTestSupport.h"
#include "testing/FileText.h"

namespace {

namespace fs = std::filesystem;
using store_test::MakeFile;

using testing_support::ReadWholeFile;

void WriteBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    testing_support::WriteWholeFile(path, bytes);
}

// A database made with SQLite directly, as another program would.
void MakeDatabase(const fs::path& path, const char* sql) {
    fs::create_directories(path.parent_path());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class DamagedFileTest : public store_test::StoreTest {
  protected:
    int ConnectFileTable() {
        CTSyncFile table;
        int rc = table.ConnectDB();
        table.Disconnect();
        return rc;
    }

    static int CountRows() { return static_cast<int>(StoredFiles().size()); }
};

TEST_F(DamagedFileTest, ForeignOrDamagedFilesAreRefusedAndLeftAlone) {
    struct Case {
        const char* why;
        std::function<void(const fs::path&)> make;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {"garbage bytes", [](const fs::path& p) { WriteBytes(p, std::string(8192, '\x5a')); },
         "cannot be read"},
        {"a database header cut short",
         [](const fs::path& p) { WriteBytes(p, std::string("SQLite format 3\0\x10", 18)); },
         "cannot be read"},
        {"another program's database",
         [](const fs::path& p) {
             MakeDatabase(p, "CREATE TABLE FileInfo(x); INSERT INTO FileInfo VALUES(1);");
         },
         "belongs to another program"},
        {"a database of ours from a newer release",
         [](const fs::path& p) {
             const std::string sql = "PRAGMA application_id=1129729601; PRAGMA user_version=" +
                                     std::to_string(kDbSchemaVersion + 1) +
                                     "; CREATE TABLE FileInfo(x);";
             MakeDatabase(p, sql.c_str());
         },
         "newer release"},
        {"a folder where the file belongs", [](const fs::path& p) { fs::create_directories(p); },
         "cannot open table file"},
    };
    const fs::path path = AccountDir() / "syncFile.db";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        fs::remove_all(AccountDir());
        c.make(path);
        const std::string before = fs::is_regular_file(path) ? ReadWholeFile(path) : "";

        const std::size_t linesBefore = Occurrences(LogText(), c.logged);
        const int rc = ConnectFileTable();
        EXPECT_NE(rc, 0);
        EXPECT_NE(rc, 101);
        EXPECT_EQ(Occurrences(LogText(), c.logged), linesBefore + 1);
        if (fs::is_regular_file(path)) {
            EXPECT_EQ(ReadWholeFile(path), before) << "the file must not be touched";
        }
        // The other files of the account are unaffected.
        CSystemInfo config;
        EXPECT_EQ(config.ConnectDB(), 0);
        config.Disconnect();
    }
}

TEST_F(DamagedFileTest, DamagedPagesGiveErrorsNotCrashes) {
    CTSyncFile table;
    ASSERT_EQ(table.ConnectDB(), 0);
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(
            table.SetFileInfo(MakeFile(i, L".\\some\\longer\\path\\file" + std::to_wstring(i))), 0);
    }
    table.Disconnect();
    CDbBase::SetAccount("reopen");  // closes the files: all rows are in the .db file now
    CDbBase::SetAccount(store_test::kAccount);

    // Overwrite everything after the first two pages (header and schema) with noise.
    const fs::path path = AccountDir() / "syncFile.db";
    std::string bytes = ReadWholeFile(path);
    ASSERT_GT(bytes.size(), 8192u);
    for (std::size_t i = 8192; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7);
    }
    WriteBytes(path, bytes);

    ASSERT_EQ(table.ConnectDB(), 0);
    std::vector<TSyncFile> files;
    const int rc = table.GetFileInfo(files);
    table.Disconnect();
    EXPECT_EQ(rc, SQLITE_CORRUPT);
    EXPECT_EQ(ReadWholeFile(path), bytes);
}

// The client forgets an account by deleting the .db files, possibly while they are open here.
TEST_F(DamagedFileTest, DeletedFilesAreOpenedAnewWithoutTheirOldLog) {
    CSyncFail table;
    ASSERT_EQ(table.ConnectDB(), 0);
    SyncFail fail;
    fail.iFailAutoKey = 1;
    ASSERT_EQ(table.AddFailInfo(fail), 0);
    table.Disconnect();
    ASSERT_TRUE(fs::exists(AccountDir() / "Sync.db-wal")) << "the log outlives the file";

    fs::remove(AccountDir() / "Sync.db");

    ASSERT_EQ(table.ConnectDB(), 0);
    std::vector<SyncFail> fails;
    ASSERT_EQ(table.GetFailArr(fails), 0);
    EXPECT_TRUE(fails.empty()) << "the deleted file's rows must not come back";
    ASSERT_EQ(table.AddFailInfo(fail), 0);
    table.Disconnect();
    EXPECT_TRUE(fs::exists(AccountDir() / "Sync.db"));
}

TEST_F(DamagedFileTest, AReplacedFileIsReadInsteadOfTheOldOne) {
    CTSyncFile table;
    ASSERT_EQ(table.ConnectDB(), 0);
    ASSERT_EQ(table.SetFileInfo(MakeFile(1, L".\\a")), 0);
    table.Disconnect();
    CDbBase::SetAccount("elsewhere");  // closes the files: all rows are in the .db file now
    CDbBase::SetAccount(store_test::kAccount);
    const fs::path snapshot = home.path() / "snapshot.db";
    fs::copy_file(AccountDir() / "syncFile.db", snapshot);

    ASSERT_EQ(table.ConnectDB(), 0);
    ASSERT_EQ(table.SetFileInfo(MakeFile(2, L".\\b")), 0);
    table.Disconnect();
    ASSERT_EQ(CountRows(), 2);

    // A backup takes the open file's place.
    fs::rename(AccountDir() / "syncFile.db", home.path() / "moved.db");
    for (const char* suffix : {"-wal", "-shm"}) {
        fs::remove(AccountDir() / (std::string("syncFile.db") + suffix));
    }
    fs::copy_file(snapshot, AccountDir() / "syncFile.db");
    EXPECT_EQ(CountRows(), 1);
}

}  // namespace
