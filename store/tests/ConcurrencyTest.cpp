// The shared tables used from several engine threads at once, as the builder, the watcher and
// the transfer worker do: nothing is lost, nothing is read half-written (ThreadSanitizer runs
// these too).

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "store/SyncCompletedArray.h"
#include "store/SyncFailArray.h"
#include "store/TSyncFileArray.h"
#include "store/tablestore/SyncCompleted.h"
#include "store/tablestore/SyncFail.h"
#include "store/tablestore/TSyncFile.h"
#include "store/tests/StoreTestSupport.h"

namespace {

using store_test::MakeFile;
using store_test::MakeTask;

class ConcurrencyTest : public store_test::StoreTest {};

TEST_F(ConcurrencyTest, TheFileTableIsReadWhileTheWorkerWrites) {
    CTSyncFileArray* table = CTSyncFileArray::Get();
    ASSERT_EQ(table->ReLoad(), 0);
    std::atomic<bool> done{false};
    std::atomic<int> wrongReads{0};
    auto reader = [&] {
        while (!done) {
            for (int id = 1; id <= 50; ++id) {
                TSyncFile out;
                if (table->GetSyncFile(id, out) &&
                    out.strRelativePath != L".\\f" + std::to_wstring(id)) {
                    ++wrongReads;
                }
            }
            for (const TSyncFile& row : table->GetSyncFile()) {
                if (row.strRelativePath != L".\\f" + std::to_wstring(row.iId)) {
                    ++wrongReads;
                }
            }
            table->GetSyncFileID(L".\\f7");
            // A comparison's snapshot, read while the worker goes on changing the rows.
            const std::shared_ptr<const CPackedFiles> rows = table->Snapshot();
            for (std::size_t i = 0; i < rows->Size(); ++i) {
                if (rows->RelativePath(i) != ".\\f" + std::to_string(rows->Id(i))) {
                    ++wrongReads;
                }
            }
        }
    };
    std::thread builder(reader);
    std::thread watcher(reader);
    for (int id = 1; id <= 50; ++id) {
        ASSERT_EQ(table->Add(MakeFile(id, L".\\f" + std::to_wstring(id))), 0);
        TSyncFile changed = MakeFile(id, L".\\f" + std::to_wstring(id));
        changed.strMD5 = "changed";
        ASSERT_EQ(table->Modify(id, changed), 0);
        if (id % 5 == 0) {
            ASSERT_EQ(table->Delete(id - 2), 0);
        }
    }
    done = true;
    builder.join();
    watcher.join();
    EXPECT_EQ(wrongReads, 0);
    const std::size_t rows = table->GetSyncFile().size();
    ASSERT_EQ(table->ReLoad(), 0);
    EXPECT_EQ(table->GetSyncFile().size(), rows);
    EXPECT_EQ(rows, 40u);
}

TEST_F(ConcurrencyTest, ListsInOneFileAreWrittenFromSeveralThreads) {
    ASSERT_EQ(CSyncFailArray::Get()->ReLoad(), 0);
    ASSERT_EQ(CSyncCompletedArray::Get()->ReLoad(), 0);
    constexpr int kTasks = 60;
    std::thread worker([] {
        for (int i = 0; i < kTasks; ++i) {
            TComand task = MakeTask(i, L".\\t" + std::to_wstring(i));
            int key = 0;
            EXPECT_EQ(CSyncFailArray::Get()->Add(9000, task, key), 0);
            EXPECT_EQ(CSyncCompletedArray::Get()->Add(task), 0);
        }
    });
    std::thread filter([] {
        for (int i = 0; i < kTasks; ++i) {
            TComand task = MakeTask(i, L".\\t" + std::to_wstring(i));
            CSyncFailArray::Get()->CheakSyncFail(task);
        }
    });
    std::thread detailWindow([] {
        for (int i = 0; i < kTasks; ++i) {
            CSyncCompleted table;
            std::vector<SyncCompleted> completed;
            EXPECT_EQ(table.ConnectDB(), 0);
            EXPECT_EQ(table.GetArr(completed), 0);
            table.Disconnect();
        }
    });
    worker.join();
    filter.join();
    detailWindow.join();

    CSyncFail fails;
    CSyncCompleted completed;
    std::vector<SyncFail> failRows;
    std::vector<SyncCompleted> completedRows;
    ASSERT_EQ(fails.ConnectDB(), 0);
    ASSERT_EQ(fails.GetFailArr(failRows), 0);
    fails.Disconnect();
    ASSERT_EQ(completed.ConnectDB(), 0);
    ASSERT_EQ(completed.GetArr(completedRows), 0);
    completed.Disconnect();
    EXPECT_EQ(failRows.size(), static_cast<std::size_t>(kTasks));
    EXPECT_EQ(completedRows.size(), static_cast<std::size_t>(kTasks));
}

}  // namespace
