// The selective-sync answers: nearest folder with a row decides, the root default otherwise,
// items placed through the file table or, failing that, the service listing.

#include <sqlite3.h>

#include "store/SyncFolderArray.h"
#include "store/TSyncFileArray.h"
#include "store/tablestore/SyncFolder.h"
#include "store/tests/StoreTestSupport.h"

namespace {

using store_test::MakeFile;

class SyncFolderArrayTest : public store_test::StoreTest {
  protected:
    void SetUp() override {
        ASSERT_EQ(CTSyncFileArray::Get()->ReLoad(), 0);
        Folders()->RefrushServerSynceFile(CPackedFiles());
        // The root default survives reloads without a root row; start from "synchronised".
        StoreChoice({{0, L"root", 0}});
        ASSERT_EQ(Folders()->ReLoad(), 0);
        CSyncFolder table;
        ASSERT_EQ(table.ConnectDB(), 0);
        ASSERT_EQ(table.DropTable("SyncFolder"), 0);
        table.Disconnect();
    }

    static CSyncFolderArray* Folders() { return CSyncFolderArray::Get(); }

    void StoreChoice(const std::vector<SyncFolder>& folders) {
        CSyncFolder table;
        ASSERT_EQ(table.ConnectDB(), 0);
        for (const SyncFolder& folder : folders) {
            ASSERT_EQ(table.AddSyncFolder(folder), 0);
        }
        table.Disconnect();
    }
};

TEST_F(SyncFolderArrayTest, WithoutRowsEverythingIsSynchronised) {
    ASSERT_EQ(Folders()->ReLoad(), 0);
    EXPECT_EQ(Folders()->CheakSyncFolderFile(L".\\a\\b\\c.txt", 1, 5), 1);
    EXPECT_EQ(Folders()->CheakSyncFolderFile(L".\\top", 0, 6), 1);
    EXPECT_EQ(Folders()->CheakSyncFolderFile(L"", 1, 0), 1);
}

TEST_F(SyncFolderArrayTest, AnUncheckedRootExcludesEverything) {
    StoreChoice({{0, L"root", 1}});
    ASSERT_EQ(Folders()->ReLoad(), 0);
    EXPECT_EQ(Folders()->CheakSyncFolderFile(L".\\a\\b\\c.txt", 1, 5), 0);
    EXPECT_EQ(Folders()->CheakSyncFolderFile(L".\\top", 0, 6), 0);

    // A reload that finds no root row keeps the last root default.
    CSyncFolder table;
    ASSERT_EQ(table.ConnectDB(), 0);
    ASSERT_EQ(table.DropTable("SyncFolder"), 0);
    table.Disconnect();
    ASSERT_EQ(Folders()->ReLoad(), 0);
    EXPECT_EQ(Folders()->CheakSyncFolderFile(L".\\top", 0, 6), 0);
}

TEST_F(SyncFolderArrayTest, TheNearestFolderWithARowDecides) {
    // .\a (id 10, excluded) holds .\a\b (id 11, included again) and .\a\c (id 12, no row).
    for (const TSyncFile& f :
         {MakeFile(10, L".\\a", 0), MakeFile(11, L".\\a\\b", 0), MakeFile(12, L".\\a\\c", 0)}) {
        ASSERT_EQ(CTSyncFileArray::Get()->Add(f), 0);
    }
    StoreChoice({{10, L"a", 1}, {11, L"b", 0}});
    ASSERT_EQ(Folders()->ReLoad(), 0);
    struct Case {
        std::wstring path;
        int iType;
        int iId;
        int expected;
        const char* why;
    };
    const std::vector<Case> cases = {
        {L".\\a", 0, 10, 0, "the excluded folder itself"},
        {L".\\a\\c\\deep\\file", 1, 0, 0, "below a folder without a row, below the excluded one"},
        {L".\\a\\b\\file", 1, 0, 1, "below the folder that is included again"},
        {L".\\a\\b", 0, 11, 1, "that folder itself"},
        {L".\\ab\\file", 1, 0, 1, "a sibling whose name starts like the excluded folder"},
        {L".\\a\\x", 0, 0, 0, "a new folder (id 0) is placed by its parent"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(Folders()->CheakSyncFolderFile(c.path, c.iType, c.iId), c.expected);
    }
}

TEST_F(SyncFolderArrayTest, ItemsKnownOnlyFromTheServiceListingArePlaced) {
    StoreChoice({{20, L"remote", 1}});
    ASSERT_EQ(Folders()->ReLoad(), 0);
    CPackedFiles listing;
    listing.Add(MakeFile(20, L".\\remote", 0));
    listing.Add(MakeFile(21, L".\\remote\\sub", 0));
    EXPECT_EQ(Folders()->CheakSyncFolderFile(L".\\remote\\sub\\new.txt", 1, 0), 1)
        << "unknown before the listing arrives";
    Folders()->RefrushServerSynceFile(listing);
    EXPECT_EQ(Folders()->CheakSyncFolderFile(L".\\remote\\sub\\new.txt", 1, 0), 0);
}

TEST_F(SyncFolderArrayTest, ClearForgetsTheRowsAndWritesAreRefused) {
    StoreChoice({{30, L"x", 1}});
    ASSERT_EQ(Folders()->ReLoad(), 0);
    EXPECT_EQ(Folders()->CheakSyncFolderFile(L".\\x", 0, 30), 0);
    EXPECT_EQ(Folders()->Clear(), 0);
    EXPECT_EQ(Folders()->CheakSyncFolderFile(L".\\x", 0, 30), 1);
    SyncFolder folder{31, L"y", 1};
    std::vector<SyncFolder> folders = {folder};
    EXPECT_EQ(Folders()->AddSyncFolder(folder), 1001);
    EXPECT_EQ(Folders()->AddSyncFolder(folders.begin(), folders.end()), 1001);
    EXPECT_EQ(Folders()->DelSyncFolder(folder), 1001);
    EXPECT_EQ(Folders()->DelSyncFolder(folders.begin(), folders.end()), 1001);
}

TEST_F(SyncFolderArrayTest, AFailedReloadReportsTheCode) {
    CDbBase::SetAccount("");
    EXPECT_EQ(Folders()->ReLoad(), SQLITE_CANTOPEN);
    EXPECT_NE(LogText().find("Error: CSyncFolderArray::ReLoad ConnectDB Failed. nRet = (14)"),
              std::string::npos);
}

}  // namespace
