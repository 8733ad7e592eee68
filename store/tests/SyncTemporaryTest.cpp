// The echo set of the engine's own disk changes.

#include "store/SyncTemporary.h"
#include "store/tests/StoreTestSupport.h"

namespace {

using store_test::MakeFile;

class SyncTemporaryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Set()->Clear();
        // Renames survive Clear: take out what earlier tests left.
        for (int id = 1; id <= 9; ++id) {
            Set()->Delete(MakeFile(id, L""), OPER_RENAME);
        }
    }
    static CSyncTemporary* Set() { return CSyncTemporary::Get(); }
};

TEST_F(SyncTemporaryTest, AModificationEchoesOnceAsDeleteAndOnceAsAdd) {
    TSyncFile f = MakeFile(1, L".\\a");
    Set()->Add(f, OPER_MODIFY);
    EXPECT_EQ(Set()->IsServerSync(), 1);
    EXPECT_EQ(Set()->CheckServerSyncFile(f, OPER_MODIFY), 0) << "never asked by modification";
    EXPECT_EQ(Set()->CheckServerSyncFile(f, OPER_DELETE), 1);
    EXPECT_EQ(Set()->CheckServerSyncFile(f, OPER_ADD), 1);
    EXPECT_EQ(Set()->CheckServerSyncFile(f, OPER_ADD), 0);
    EXPECT_EQ(Set()->IsServerSync(), 0);
}

TEST_F(SyncTemporaryTest, EntriesMatchByIdOrPath) {
    Set()->Add(MakeFile(2, L".\\by-id"), OPER_ADD);
    Set()->Add(MakeFile(0, L".\\by-path"), OPER_ADD);
    struct Case {
        TSyncFile probe;
        int expected;
        const char* why;
    };
    const std::vector<Case> cases = {
        {MakeFile(0, L".\\unrelated"), 0, "id 0 identifies nothing"},
        {MakeFile(2, L".\\renamed-meanwhile"), 1, "the same id"},
        {MakeFile(5, L".\\by-path"), 1, "the same path"},
        {MakeFile(2, L".\\by-id"), 0, "each entry answers once"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TSyncFile probe = c.probe;
        EXPECT_EQ(Set()->CheckServerSyncFile(probe, OPER_ADD), c.expected);
    }
}

TEST_F(SyncTemporaryTest, ClearKeepsRenamesWhichDoNotCountAsServerSync) {
    TSyncFile f = MakeFile(3, L".\\r");
    Set()->Add(f, OPER_RENAME);
    Set()->Add(MakeFile(4, L".\\d"), OPER_DELETE);
    Set()->Add(MakeFile(5, L".\\x"), static_cast<E_Oper>(9));
    Set()->Clear();
    EXPECT_EQ(Set()->IsServerSync(), 0);
    EXPECT_EQ(Set()->CheckServerSyncFile(f, OPER_RENAME), 1);
}

TEST_F(SyncTemporaryTest, DeleteRemovesEveryMatchOfItsKind) {
    Set()->Add(MakeFile(6, L".\\a"), OPER_DELETE);
    Set()->Add(MakeFile(7, L".\\a"), OPER_DELETE);
    Set()->Add(MakeFile(6, L".\\a"), OPER_ADD);
    Set()->Delete(MakeFile(0, L".\\a"), OPER_DELETE);
    TSyncFile probe = MakeFile(6, L".\\a");
    EXPECT_EQ(Set()->CheckServerSyncFile(probe, OPER_DELETE), 0);
    EXPECT_EQ(Set()->CheckServerSyncFile(probe, OPER_ADD), 1);
}

}  // namespace
