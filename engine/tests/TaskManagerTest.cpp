// The task manager's own thread on real thread queues: pause and resume reach every rule,
// MSG_NET_SERVER the network rule, the path-length rule's report goes on to the control thread
// (this test's thread stands in for it), WM_QUIT ends the thread; and producers on several
// threads at once while the task manager thread changes the rules' flags.
//
// A message is known to be handled once a marker MSG_ERR_FILEPATH_TOOLONG posted after it has
// come back: the thread handles its queue in order.

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "engine/TaskManager.h"
#include "engine/tests/FilterTestSupport.h"

namespace {

using filter_test::Bit;
using filter_test::Task;
using Batch = std::vector<TComand>;

const std::string kStopLine = "Error::Stop Sync, Do not Sync";
const std::string kNetworkLine = "Error::NetWork is Failed, Do not Sync";

class TaskManagerTest : public filter_test::FilterTest {
  protected:
    void SetUp() override {
        filter_test::FilterTest::SetUp();
        ASSERT_EQ(manager.Start(), 0);
        manager.SetControlThreadId(plat::GetCurrentThreadId());
        manager.SetRuleThreadId(manager.GetThreadId());
    }

    // Posts the message, then a marker, and waits until the marker came back to this thread;
    // other messages that arrive meanwhile are kept in received.
    void PostAndWait(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) {
        ASSERT_TRUE(plat::PostThreadMessage(manager.GetThreadId(), message, wParam, lParam));
        const plat::WPARAM marker = 0x4D41524B00u + ++markers;
        ASSERT_TRUE(
            plat::PostThreadMessage(manager.GetThreadId(), MSG_ERR_FILEPATH_TOOLONG, marker, 7));
        plat::MSG msg;
        while (NextMessage(msg)) {
            if (msg.message == MSG_ERR_FILEPATH_TOOLONG && msg.wParam == marker) {
                EXPECT_EQ(msg.lParam, 7) << "7029 is passed on with its parameters";
                return;
            }
            received.push_back(msg);
        }
        FAIL() << "the task manager thread did not answer message " << message;
    }

    // Runs a one-task disk batch through the chain: the names that reached the queue.
    std::vector<std::wstring> Through(const std::wstring& name) {
        Batch batch = {Task(name)};
        manager.AddTasks(batch, 0);
        return TakeQueued();
    }

    CTaskManager manager;
    std::vector<plat::MSG> received;
    plat::WPARAM markers = 0;
};

TEST_F(TaskManagerTest, NetworkDownDropsEveryBatchUntilTheServiceIsReachableAgain) {
    struct Step {
        plat::LPARAM lParam;
        bool passes;
        const char* why;
    };
    const Step steps[] = {
        {0, false, "lParam 0: the service is unreachable"},
        {2, false, "any lParam but 1 counts as unreachable"},
        {0, false, "and stays so"},
        {1, true, "lParam 1: reachable again"},
        {1, true, "reachable stays reachable"},
    };
    int dropped = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.why);
        PostAndWait(MSG_NET_SERVER, 5, step.lParam);
        EXPECT_EQ(Through(L"a.txt"),
                  step.passes ? std::vector<std::wstring>{L"a.txt"} : std::vector<std::wstring>{});
        dropped += step.passes ? 0 : 1;
        EXPECT_EQ(CountLines("CNetworkAbnomal::DoAction", kNetworkLine), dropped)
            << "one line per dropped batch";
    }
    EXPECT_EQ(CountLines("CFileFilter::DoAction", kStopLine), 0);
}

TEST_F(TaskManagerTest, PauseStopsEveryRuleAndResumeStartsThemAgain) {
    PostAndWait(MSG_SETTING_PAUSESYNC, 0, 0);
    Batch batch = {Task(L"a.txt"), filter_test::LongPathTask(L"long.txt", 300, SyncDir())};
    EXPECT_EQ(manager.AddTasks(batch, 0), 1) << "the pause bit itself is the control thread's";
    EXPECT_TRUE(batch.empty());
    EXPECT_EQ(TakeQueued(), std::vector<std::wstring>{});
    EXPECT_TRUE(Fails().empty()) << "a stopped rule sends nothing to the fail list";
    for (const char* function :
         {"CSyncRedundancyFilter::DoAction", "CFileMaxPath::DoAction", "CNetworkAbnomal::DoAction",
          "CFileFilter::DoAction", "CFile4GFilter::DoAction", "CTaskCache::DoAction"}) {
        EXPECT_EQ(CountLines(function, kStopLine), 1) << function;
    }
    EXPECT_EQ(CountLines("CNoSyncFolder::DoAction", kStopLine), 0) << "rule 5 is off";
    EXPECT_EQ(CountLines("CSyncFailFile::DoAction", kStopLine), 0) << "rule 6 is off";
    EXPECT_EQ(CSyncStatus::Get()->GetFlag(MSYNC_FLAG_DISKCAUSE_SYNC), 0);

    PostAndWait(MSG_SETTING_RESUMESYNC, 0, 0);
    EXPECT_EQ(Through(L"b.txt"), std::vector<std::wstring>{L"b.txt"});
    EXPECT_EQ(CountLines("CTaskCache::DoAction", kStopLine), 1);
}

TEST_F(TaskManagerTest, TooLongPathIsReportedToTheControlThread) {
    Batch batch = {filter_test::LongPathTask(L"long.txt", 241, SyncDir()), Task(L"b.txt")};
    ASSERT_EQ(manager.AddTasks(batch, 0), 1);
    EXPECT_EQ(TakeQueued(), std::vector<std::wstring>{L"b.txt"});
    const std::vector<SyncFail> fails = Fails();
    ASSERT_EQ(fails.size(), 1u);
    EXPECT_EQ(fails[0].errcode, 1001);

    plat::MSG msg;
    ASSERT_TRUE(NextMessage(msg));
    EXPECT_EQ(msg.message, MSG_ERR_FILEPATH_TOOLONG);
    EXPECT_EQ(msg.wParam, static_cast<plat::WPARAM>(fails[0].iFailAutoKey));
    EXPECT_EQ(msg.lParam, 0);
}

TEST_F(TaskManagerTest, OtherMessagesAreIgnoredAndQuitEndsTheThread) {
    PostAndWait(MSG_SETTING_MAXSPEED, 100, 200);
    PostAndWait(MSG_THREAD_START, 0, 0);
    EXPECT_TRUE(received.empty()) << "nothing but 7029 is passed on";
    EXPECT_EQ(Through(L"a.txt"), std::vector<std::wstring>{L"a.txt"});

    ASSERT_TRUE(plat::PostThreadMessage(manager.GetThreadId(), plat::WM_QUIT, 0, 0));
    EXPECT_EQ(manager.Stop(), 0) << "the loop ends on WM_QUIT well within the wait";
    EXPECT_EQ(manager.GetThreadId(), 0u);
}

// Producers on three threads while the task manager thread rewrites the rules' flags (to the
// values they have, so that every task still passes). Each producer's batch flag must be the
// one its own batch is cached with: offline batches of disk tasks beside disk batches of
// service tasks never ask for a disk-caused offline sync.
TEST_F(TaskManagerTest, ConcurrentProducersKeepTheirBatchFlags) {
    constexpr int kBatches = 40;
    constexpr int kTasksPerBatch = 3;
    std::atomic<bool> bProducing{true};
    std::thread messages([this, &bProducing] {
        while (bProducing.load()) {
            plat::PostThreadMessage(manager.GetThreadId(), MSG_NET_SERVER, 0, 1);
            plat::PostThreadMessage(manager.GetThreadId(), MSG_SETTING_RESUMESYNC, 0, 0);
            std::this_thread::yield();
        }
    });
    auto produce = [this](int producer, int origin, int bFlag) {
        for (int b = 0; b < kBatches; ++b) {
            Batch batch;
            for (int t = 0; t < kTasksPerBatch; ++t) {
                batch.push_back(Task(std::to_wstring(producer) + L"-" + std::to_wstring(b) + L"-" +
                                         std::to_wstring(t) + L".txt",
                                     OPER_ADD, origin));
            }
            manager.AddTasks(batch, bFlag);
        }
    };
    std::vector<std::thread> producers;
    producers.emplace_back(produce, 0, 1, 1);
    producers.emplace_back(produce, 1, 0, 0);
    producers.emplace_back(produce, 2, 1, 1);
    for (std::thread& producer : producers) {
        producer.join();
    }
    bProducing = false;
    messages.join();

    EXPECT_EQ(CSyncStatus::Get()->GetFlag(MSYNC_FLAG_DISKCAUSE_SYNC), 0);
    std::set<std::wstring> names;
    std::vector<std::wstring> queued = TakeQueued();
    names.insert(queued.begin(), queued.end());
    EXPECT_EQ(queued.size(), std::size_t{3 * kBatches * kTasksPerBatch});
    EXPECT_EQ(names.size(), queued.size()) << "every task queued exactly once";
}

}  // namespace
