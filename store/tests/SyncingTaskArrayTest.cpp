// The task queue: keys, what a restart and a clear keep, reordering, the work signal, and
// producers and the worker running at once.

#include <sqlite3.h>

#include <set>
#include <thread>

#include "store/SyncingTaskArray.h"
#include "store/tablestore/SyncingTask.h"
#include "store/tests/StoreTestSupport.h"

namespace {

using store_test::MakeTask;

class SyncingTaskArrayTest : public store_test::StoreTest {
  protected:
    void SetUp() override {
        ASSERT_EQ(Queue()->ReLoad(), 0);
        while (Queue()->Wait(0) == plat::WAIT_OBJECT_0) {
        }
    }

    static CSyncingTaskArray* Queue() { return CSyncingTaskArray::Get(); }

    std::vector<TComand> Stored() {
        CSyncingTask table;
        std::vector<TComand> tasks;
        EXPECT_EQ(table.ConnectDB(), 0);
        EXPECT_EQ(table.GetAllSyncingTask(tasks), 0);
        table.Disconnect();
        return tasks;
    }

    // Keys of the queue, front first; empties it.
    std::vector<int> QueueKeys() {
        std::vector<int> keys;
        TComand task;
        while (Queue()->HasTask() == 1) {
            EXPECT_EQ(Queue()->pop_front(task), 0);
            keys.push_back(task.iIdKey);
        }
        return keys;
    }

    static std::vector<int> Keys(const std::vector<TComand>& tasks) {
        std::vector<int> keys;
        for (const TComand& task : tasks) {
            keys.push_back(task.iIdKey);
        }
        return keys;
    }

    static TComand WithBreakPoint(TComand task) {
        task.tSyncFile.dataExtension.dataBreakPoint.strTempName = "download";
        return task;
    }
};

TEST_F(SyncingTaskArrayTest, ReloadKeepsOnlyTheInterruptedTaskUnderTheFirstKey) {
    {
        CSyncingTask table;
        ASSERT_EQ(table.ConnectDB(), 0);
        std::vector<TComand> tasks = {MakeTask(1, L".\\a"), WithBreakPoint(MakeTask(2, L".\\b")),
                                      WithBreakPoint(MakeTask(3, L".\\c"))};
        for (int i = 0; i < 3; ++i) {
            tasks[i].iIdKey = 7 + i;
        }
        ASSERT_EQ(table.AddTaskArrayInfo(tasks), 0);
        table.Disconnect();
    }
    ASSERT_EQ(Queue()->ReLoad(), 0);

    std::vector<TComand> stored = Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].tSyncFile.strRelativePath, L".\\b");
    EXPECT_EQ(stored[0].iIdKey, 1);
    TComand front;
    ASSERT_EQ(Queue()->GetTask(front), 1);
    EXPECT_EQ(front.tSyncFile.strRelativePath, L".\\b");

    // A task pushed now cannot take the kept task's key.
    ASSERT_EQ(Queue()->push_back(MakeTask(4, L".\\d")), 0);
    EXPECT_EQ(Keys(Stored()), (std::vector<int>{1, 2}));
}

// What a clear takes off the queue counts as dropped (it did not run); the kept task does not.
TEST_F(SyncingTaskArrayTest, ClearKeepsAFrontTaskWithABreakPointOnly) {
    const unsigned dropped = Queue()->DroppedTasks();
    ASSERT_EQ(Queue()->Clear(), 0);
    EXPECT_EQ(Queue()->DroppedTasks(), dropped) << "an empty queue drops nothing";
    ASSERT_EQ(Queue()->push_back(MakeTask(1, L".\\a")), 0);
    ASSERT_EQ(Queue()->push_back(WithBreakPoint(MakeTask(2, L".\\b"))), 0);
    ASSERT_EQ(Queue()->Clear(), 0);
    EXPECT_EQ(Queue()->HasTask(), 0);
    EXPECT_TRUE(Stored().empty());
    EXPECT_EQ(Queue()->DroppedTasks(), dropped + 2);

    ASSERT_EQ(Queue()->push_back(WithBreakPoint(MakeTask(3, L".\\c"))), 0);
    ASSERT_EQ(Queue()->push_back(MakeTask(4, L".\\d")), 0);
    ASSERT_EQ(Queue()->Clear(), 0);
    EXPECT_EQ(Queue()->DroppedTasks(), dropped + 3);
    std::vector<TComand> stored = Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].tSyncFile.strRelativePath, L".\\c");
    TComand front;
    ASSERT_EQ(Queue()->GetTask(front), 1);
    EXPECT_EQ(front.iIdKey, stored[0].iIdKey);
    ASSERT_EQ(Queue()->pop_front(), 0);
    EXPECT_EQ(Queue()->HasTask(), 0);
}

// The worker takes the front task, and while it runs the engine clears the queue and pushes
// new work; when the worker then removes its task, the new work must stay.
TEST_F(SyncingTaskArrayTest, RemovingTheTakenTaskAfterAClearAndPushLosesNothing) {
    struct Case {
        const char* why;
        bool bBreakPoint;  // the taken task survives the clear
        int removeResult;
    };
    const Case cases[] = {
        {"the taken task was cleared away", false, DB_RESULT_MISSING},
        {"the taken task was kept by the clear", true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_EQ(Queue()->ReLoad(), 0);
        TComand first = MakeTask(1, L".\\taken");
        ASSERT_EQ(Queue()->push_back(c.bBreakPoint ? WithBreakPoint(first) : first), 0);
        ASSERT_EQ(Queue()->push_back(MakeTask(2, L".\\behind")), 0);
        TComand taken;
        ASSERT_EQ(Queue()->GetTask(taken), 1);

        ASSERT_EQ(Queue()->Clear(), 0);
        ASSERT_EQ(Queue()->push_back(MakeTask(3, L".\\new")), 0);
        EXPECT_EQ(Queue()->RemoveTask(taken.iIdKey), c.removeResult);

        std::vector<TComand> stored = Stored();
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0].tSyncFile.strRelativePath, L".\\new");
        TComand front;
        ASSERT_EQ(Queue()->GetTask(front), 1);
        EXPECT_EQ(front.tSyncFile.strRelativePath, L".\\new");
        EXPECT_EQ(QueueKeys(), Keys(stored));
    }
}

TEST_F(SyncingTaskArrayTest, RemoveTaskTakesTheTaskOfItsKeyWherever) {
    for (int id = 1; id <= 3; ++id) {
        ASSERT_EQ(Queue()->push_back(MakeTask(id, L".\\t" + std::to_wstring(id))), 0);
    }
    EXPECT_EQ(Queue()->RemoveTask(2), 0);
    EXPECT_EQ(Keys(Stored()), (std::vector<int>{1, 3}));
    EXPECT_EQ(Queue()->RemoveTask(2), DB_RESULT_MISSING);
    CDbBase::SetAccount("");
    EXPECT_EQ(Queue()->RemoveTask(3), SQLITE_CANTOPEN);
    EXPECT_NE(LogText().find("Error: CSyncingTaskArray::RemoveTask ConnectDB failed nRet = (14)"),
              std::string::npos);
    CDbBase::SetAccount(store_test::kAccount);
    EXPECT_EQ(QueueKeys(), (std::vector<int>{1, 3})) << "a failed connect keeps the task";
}

TEST_F(SyncingTaskArrayTest, PushingAVectorNumbersTheCallersTasks) {
    std::vector<TComand> tasks = {MakeTask(1, L".\\a"), MakeTask(2, L".\\b")};
    tasks[0].statement = "abc";
    ASSERT_EQ(Queue()->push_back(tasks), 0);
    EXPECT_EQ(Keys(tasks), (std::vector<int>{1, 2}));
    std::vector<TComand> stored = Stored();
    EXPECT_EQ(Keys(stored), (std::vector<int>{1, 2}));
    EXPECT_EQ(stored[0].statement, "0") << "the free text does not travel into the queue";

    const std::vector<TComand> more = {MakeTask(3, L".\\c")};
    ASSERT_EQ(Queue()->push_back(more.begin(), more.end()), 0);
    EXPECT_EQ(Keys(Stored()), (std::vector<int>{1, 2, 3}));
}

TEST_F(SyncingTaskArrayTest, AdjustTaskPriorityMovesATaskToSecondPlace) {
    struct Case {
        int key;  // 1..4 are A..D, 9 is unknown
        int expected;
        std::vector<int> order;
        const char* why;
    };
    const std::vector<Case> cases = {
        {4, 4, {1, 4, 2, 3}, "D moves behind the task in progress"},
        {2, 3, {1, 2, 3, 4}, "B is already next: the key behind it"},
        {1, 0, {1, 2, 3, 4}, "A is in progress"},
        {9, 4, {1, 2, 3, 4}, "an unknown key gives the number of tasks"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_EQ(Queue()->ReLoad(), 0);
        for (int i = 1; i <= 4; ++i) {
            ASSERT_EQ(Queue()->push_back(MakeTask(i, L".\\t")), 0);
        }
        EXPECT_EQ(Queue()->AdjustTaskPriority(c.key), c.expected);
        EXPECT_EQ(QueueKeys(), c.order);
    }
    ASSERT_EQ(Queue()->push_back(MakeTask(1, L".\\a")), 0);
    ASSERT_EQ(Queue()->push_back(MakeTask(2, L".\\b")), 0);
    EXPECT_EQ(Queue()->AdjustTaskPriority(6), 0) << "the second of two: nothing behind it";
}

TEST_F(SyncingTaskArrayTest, PopFrontOnAnEmptyQueue) {
    EXPECT_EQ(Queue()->pop_front(), 0);
    EXPECT_NE(LogText().find("Error: CSyncingTaskArray::pop_front,  SyncingTaskArray Empty"),
              std::string::npos);
    TComand out;
    EXPECT_EQ(Queue()->pop_front(out), 0);
    EXPECT_EQ(out.iIdKey, -1);
    EXPECT_EQ(Queue()->GetTask(out), 0);
}

TEST_F(SyncingTaskArrayTest, ModifyStoresTheWorkersTaskUnderItsKey) {
    ASSERT_EQ(Queue()->push_back(MakeTask(1, L".\\a")), 0);
    ASSERT_EQ(Queue()->push_back(MakeTask(2, L".\\b")), 0);
    TComand task;
    ASSERT_EQ(Queue()->GetTask(task), 1);
    task = WithBreakPoint(task);
    ASSERT_EQ(Queue()->Modify(task), 0);
    std::vector<TComand> stored = Stored();
    EXPECT_EQ(stored[0].tSyncFile.dataExtension.dataBreakPoint.strTempName, "download");
    TComand front;
    ASSERT_EQ(Queue()->GetTask(front), 1);
    EXPECT_EQ(front.tSyncFile.dataExtension.dataBreakPoint.strTempName, "download");

    // The worker's task was cleared meanwhile: it is not written back, nor put over another.
    ASSERT_EQ(Queue()->pop_front(), 0);
    EXPECT_EQ(Queue()->Modify(task), 1001);
    EXPECT_EQ(Keys(Stored()), (std::vector<int>{2}));
    ASSERT_EQ(Queue()->GetTask(front), 1);
    EXPECT_EQ(front.iIdKey, 2);
}

TEST_F(SyncingTaskArrayTest, StoreFailuresKeepTheMemoryCopyAndAreLogged) {
    CDbBase::SetAccount("");
    EXPECT_EQ(Queue()->push_back(MakeTask(1, L".\\a")), SQLITE_CANTOPEN);
    EXPECT_EQ(Queue()->HasTask(), 1) << "the single push keeps its task";
    const std::vector<TComand> range = {MakeTask(2, L".\\b")};
    EXPECT_EQ(Queue()->push_back(range.begin(), range.end()), SQLITE_CANTOPEN);
    EXPECT_EQ(Queue()->pop_front(), SQLITE_CANTOPEN);
    TComand front;
    ASSERT_EQ(Queue()->GetTask(front), 1);
    EXPECT_EQ(front.tSyncFile.strRelativePath, L".\\a") << "a failed connect keeps the task";
    const unsigned dropped = Queue()->DroppedTasks();
    EXPECT_EQ(Queue()->Clear(), SQLITE_CANTOPEN);
    EXPECT_EQ(Queue()->DroppedTasks(), dropped) << "a failed connect keeps the tasks";
    EXPECT_EQ(Queue()->ReLoad(), SQLITE_CANTOPEN);
    const std::string log = LogText();
    for (const char* line : {"Error: CSyncingTaskArray::push_back ConnectDB failed nRet = (14)",
                             "Error: CSyncingTaskArray::pop_front ConnectDB failed nRet = (14)",
                             "Error: CSyncingTaskArray::Clear ConnectDB failed nRet = (14)",
                             "Error: CSyncingTaskArray::ReLoad ConnectDB failed nRet = (14)"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
    CDbBase::SetAccount(store_test::kAccount);
    ASSERT_EQ(Queue()->ReLoad(), 0);
    EXPECT_EQ(Queue()->HasTask(), 0);
}

TEST_F(SyncingTaskArrayTest, ManyReleasesGiveOneWakeUp) {
    Queue()->Release(1);
    Queue()->Release(1);
    EXPECT_EQ(Queue()->Wait(0), plat::WAIT_OBJECT_0);
    EXPECT_EQ(Queue()->Wait(0), plat::WAIT_TIMEOUT);
    Queue()->Release(5);
    EXPECT_EQ(Queue()->Wait(0), plat::WAIT_OBJECT_0) << "a count above the maximum still wakes";
    EXPECT_EQ(Queue()->Wait(0), plat::WAIT_TIMEOUT);
    Queue()->Release(0);
    EXPECT_EQ(Queue()->Wait(0), plat::WAIT_TIMEOUT);
}

// Builders push from several threads while the worker drains the queue per wake-up.
TEST_F(SyncingTaskArrayTest, ProducersAndTheWorkerShareTheQueue) {
    constexpr int kProducers = 3;
    constexpr int kPerProducer = 40;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([p] {
            for (int i = 0; i < kPerProducer; i += 2) {
                if (i % 4 == 0) {
                    std::vector<TComand> pair = {MakeTask(p * 1000 + i, L".\\v"),
                                                 MakeTask(p * 1000 + i + 1, L".\\v")};
                    EXPECT_EQ(Queue()->push_back(pair), 0);
                } else {
                    EXPECT_EQ(Queue()->push_back(MakeTask(p * 1000 + i, L".\\s")), 0);
                    EXPECT_EQ(Queue()->push_back(MakeTask(p * 1000 + i + 1, L".\\s")), 0);
                }
                Queue()->Release(1);
                Queue()->AdjustTaskPriority(i);
            }
        });
    }
    std::set<int> keys;
    std::set<int> files;
    std::thread worker([&] {
        while (files.size() < kProducers * kPerProducer) {
            TComand task;
            if (Queue()->GetTask(task) == 0) {
                Queue()->Wait(-1);
                continue;
            }
            task.strSize = "modified";
            EXPECT_EQ(Queue()->Modify(task), 0);
            EXPECT_TRUE(keys.insert(task.iIdKey).second) << "key twice: " << task.iIdKey;
            EXPECT_TRUE(files.insert(task.tSyncFile.iId).second);
            EXPECT_EQ(Queue()->pop_front(), 0);
        }
    });
    for (std::thread& producer : producers) {
        producer.join();
    }
    worker.join();
    EXPECT_EQ(Queue()->HasTask(), 0);
    EXPECT_TRUE(Stored().empty());
}

}  // namespace
