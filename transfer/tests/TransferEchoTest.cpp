// The echo set across a run of the worker: the entries of the service's changes outlive the
// run, so that the watcher's late report of a download is still recognised, and expire a
// while after their transfer, so that a later real change of the item is not swallowed.

#include "transfer/tests/TransferFixture.h"

#include "store/SyncTemporary.h"
#include "testing/ManualClock.h"

namespace transfer_test {
namespace {

using testing_support::ManualClock;

// What the directory watcher reports for a file that appeared on disk: no id, only the path.
TSyncFile DiskReport(const std::wstring& relativePath) {
    TSyncFile file;
    file.strRelativePath = relativePath;
    file.strName = relativePath.substr(relativePath.find_last_of(L'\\') + 1);
    file.iType = 1;
    return file;
}

TEST_F(TransferTest, AnEchoArrivingAfterTheQueueDrainedIsStillFiltered) {
    ManualClock clock;
    CSyncTemporary* echoes = CSyncTemporary::Get();
    Service().PutFile(account, "early.txt", "early");
    Service().PutFile(account, "late.txt", "late");
    const std::vector<TComand> downloads = {ServiceTask("early.txt", OPER_ADD),
                                            ServiceTask("late.txt", OPER_ADD)};
    // As the comparison does before it queues the service's changes; the deletion's task is
    // dropped by a filter and never queued.
    for (const TComand& task : downloads) {
        echoes->Add(task.tSyncFile, OPER_ADD);
    }
    TSyncFile dropped = DiskReport(L".\\dropped.txt");
    dropped.iId = 999999;
    echoes->Add(dropped, OPER_DELETE);

    RunTasks(downloads);
    ASSERT_TRUE(WaitUntil([this] {
        return testing_support::LogText(home.path()).find("Task End Sync") != std::string::npos;
    }));
    ASSERT_EQ(testing_support::ReadWholeFile(Local("late.txt")), "late");

    TSyncFile echo = DiskReport(L".\\early.txt");
    EXPECT_EQ(echoes->CheckServerSyncFile(echo, OPER_ADD), 1)
        << "the watcher reports the download after the queue drained";

    plat::Clock::Advance(CSyncTemporary::kEchoLifetime);
    TSyncFile real = DiskReport(L".\\late.txt");
    EXPECT_EQ(echoes->CheckServerSyncFile(real, OPER_ADD), 0)
        << "a change long after the download is the user's";
    EXPECT_EQ(echoes->IsServerSync(), 0) << "the dropped task's entry expired as well";
}

}  // namespace
}  // namespace transfer_test
