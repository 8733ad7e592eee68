// The echo set of the engine's own disk changes.

#include "store/SyncTemporary.h"
#include "store/tests/StoreTestSupport.h"
#include "testing/ManualClock.h"

namespace {

using store_test::MakeFile;

class SyncTemporaryTest : public ::testing::Test {
  protected:
    void SetUp() override { Set()->Clear(); }
    static CSyncTemporary* Set() { return CSyncTemporary::Get(); }

    testing_support::ManualClock clock;
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

TEST_F(SyncTemporaryTest, ClearEmptiesEveryListAndRenamesDoNotCountAsServerSync) {
    TSyncFile f = MakeFile(3, L".\\r");
    Set()->Add(f, OPER_RENAME);
    Set()->Add(MakeFile(5, L".\\x"), static_cast<E_Oper>(9));
    EXPECT_EQ(Set()->IsServerSync(), 0);
    Set()->Add(MakeFile(4, L".\\d"), OPER_DELETE);
    EXPECT_EQ(Set()->IsServerSync(), 1);
    Set()->Clear();
    EXPECT_EQ(Set()->IsServerSync(), 0);
    EXPECT_EQ(Set()->CheckServerSyncFile(f, OPER_RENAME), 0) << "a stale rename is gone too";
}

// A comparison replaces what the comparisons before it planned; a file the engine moved aside
// itself is planned by none, and the report of that move may reach the filter only after the
// next comparison: taken for the user's, it would rename the service's item.
TEST_F(SyncTemporaryTest, AComparisonReplacesWhatWasPlannedButNotTheEnginesOwnMoves) {
    const auto lifetime = CSyncTemporary::kEchoLifetime;
    TSyncFile planned = MakeFile(3, L".\\planned.txt");
    TSyncFile moved = MakeFile(4, L".\\moved.txt");
    Set()->Add(planned, OPER_RENAME);
    Set()->Add(MakeFile(5, L".\\added.txt"), OPER_MODIFY);
    Set()->AddOwnChange(moved, OPER_RENAME);
    Set()->ClearPlanned();
    EXPECT_EQ(Set()->IsServerSync(), 0);
    EXPECT_EQ(Set()->CheckServerSyncFile(planned, OPER_RENAME), 0);
    TSyncFile report = MakeFile(4, L".\\moved.txt");
    EXPECT_EQ(Set()->CheckServerSyncFile(report, OPER_RENAME), 1);

    // Made at once, the move's countdown starts with it; a report the watcher has seen waits.
    Set()->AddOwnChange(moved, OPER_RENAME);
    plat::Clock::Advance(lifetime - std::chrono::milliseconds(1));
    EXPECT_EQ(Set()->CheckServerSyncFile(report, OPER_RENAME), 1);
    Set()->AddOwnChange(moved, OPER_RENAME);
    plat::Clock::Advance(lifetime);
    EXPECT_EQ(Set()->CheckServerSyncFile(report, OPER_RENAME), 0) << "a later rename is real";
    Set()->AddOwnChange(moved, OPER_RENAME);
    Set()->Observed(L".\\moved.txt");
    plat::Clock::Advance(lifetime * 3);
    EXPECT_EQ(Set()->CheckServerSyncFile(report, OPER_RENAME), 1);

    Set()->AddOwnChange(moved, OPER_RENAME);
    Set()->Clear();
    EXPECT_EQ(Set()->CheckServerSyncFile(report, OPER_RENAME), 0) << "Clear empties everything";
}

// An entry waits for its echo while its operation runs, however long that takes, and for
// kEchoLifetime after the operation completed; then a change of the item is a real one.
// The watcher has seen the echo but the disk monitor's batch and the filter chain reach it late
// (a loaded machine): the entry waits for it, and expires again only after the next completion.
TEST_F(SyncTemporaryTest, AnEchoTheWatcherHasSeenIsFilteredHoweverLateTheFilterComes) {
    const auto lifetime = CSyncTemporary::kEchoLifetime;
    Set()->Clear();
    TSyncFile f = MakeFile(8, L".\\seen.txt");
    Set()->Add(f, OPER_MODIFY);
    Set()->Complete(f);
    Set()->Observed(L".\\seen.txt");
    Set()->Observed(L".\\see");
    plat::Clock::Advance(lifetime * 3);
    TSyncFile probe = f;
    EXPECT_EQ(Set()->CheckServerSyncFile(probe, OPER_DELETE), 1);
    EXPECT_EQ(Set()->CheckServerSyncFile(probe, OPER_ADD), 1);

    Set()->Add(f, OPER_ADD);
    Set()->Complete(f);
    Set()->Observed(L".\\seen.txt");
    Set()->CompleteAll();
    plat::Clock::Advance(lifetime);
    EXPECT_EQ(Set()->CheckServerSyncFile(probe, OPER_ADD), 0)
        << "an entry whose echo never passed the filter does not wait for ever";

    Set()->Add(MakeFile(9, L".\\seen.txt.bak"), OPER_ADD);
    Set()->CompleteAll();
    Set()->Observed(L".\\seen.txt");
    plat::Clock::Advance(lifetime);
    TSyncFile other = MakeFile(0, L".\\seen.txt.bak");
    EXPECT_EQ(Set()->CheckServerSyncFile(other, OPER_ADD), 0) << "only the same path is held";
}

TEST_F(SyncTemporaryTest, AnEntryExpiresOnlyAfterItsOperationCompleted) {
    const auto lifetime = CSyncTemporary::kEchoLifetime;
    struct Case {
        const char* why;
        E_Oper eOper;
        bool bCompleteAll;  // completed by the drained queue instead of by its own task
    };
    const Case cases[] = {
        {"an addition", OPER_ADD, false},
        {"a deletion", OPER_DELETE, false},
        {"a rename", OPER_RENAME, false},
        {"a rename whose task never ran", OPER_RENAME, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Set()->Clear();
        TSyncFile f = MakeFile(6, L".\\long");
        Set()->Add(f, c.eOper);
        plat::Clock::Advance(std::chrono::hours(1));
        TSyncFile probe = f;
        EXPECT_EQ(Set()->CheckServerSyncFile(probe, c.eOper), 1) << "a long transfer";

        Set()->Add(f, c.eOper);
        Set()->Add(MakeFile(7, L".\\other"), c.eOper);
        if (c.bCompleteAll) {
            Set()->CompleteAll();
        } else {
            Set()->Complete(MakeFile(6, L""));
        }
        plat::Clock::Advance(lifetime - std::chrono::milliseconds(1));
        EXPECT_EQ(Set()->CheckServerSyncFile(probe, c.eOper), 1) << "a late echo";

        Set()->Add(f, c.eOper);
        Set()->Complete(f);
        plat::Clock::Advance(lifetime);
        EXPECT_EQ(Set()->CheckServerSyncFile(probe, c.eOper), 0)
            << "a real change after the echo's time is not swallowed";
        TSyncFile other = MakeFile(7, L".\\other");
        EXPECT_EQ(Set()->CheckServerSyncFile(other, c.eOper), c.bCompleteAll ? 0 : 1)
            << "another item's entry waits for its own operation";
    }
}

TEST_F(SyncTemporaryTest, ExpiredEntriesNoLongerCountAsServerSync) {
    Set()->Add(MakeFile(8, L".\\m"), OPER_MODIFY);
    Set()->CompleteAll();
    EXPECT_EQ(Set()->IsServerSync(), 1);
    plat::Clock::Advance(CSyncTemporary::kEchoLifetime);
    EXPECT_EQ(Set()->IsServerSync(), 0);
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
