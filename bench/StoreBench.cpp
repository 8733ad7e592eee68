// Figures of the state store on real SQLite files in a temporary CORVENA_HOME:
//   filetable_reload_100k_s    CTSyncFileArray::ReLoad of 100,000 rows (best of three)
//   filetable_add_rows_per_s   Add of 10,000 rows one call at a time, as the transfer worker does
//   queue_cycle_per_s          push_back + Modify + pop_front of one task
//   filetable_lookup_ns        GetSyncFile by relative path in the 100,000-row table
//   filetable_lookup_1k_ns     the same in a 1,000-row table, for comparison
// Each is printed as "name value unit".

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "store/SyncingTaskArray.h"
#include "store/TSyncFileArray.h"
#include "store/tablestore/DatabasePool.h"
#include "store/tablestore/DbBase.h"
#include "store/tablestore/RecordColumns.h"

namespace {

using Clock = std::chrono::steady_clock;

TSyncFile Row(int id) {
    TSyncFile file;
    file.iId = id;
    file.iPId = id / 100;
    file.strName = L"document-" + std::to_wstring(id) + L".txt";
    file.strRelativePath = L".\\folder" + std::to_wstring(id / 1000) + L"\\sub" +
                           std::to_wstring(id / 100) + L"\\" + file.strName;
    file.strFileSize = std::to_string(id * 37);
    file.strModifyTime = "2024-05-06 07:08:09";
    file.strServerTime = "1714979289";
    file.iType = 1;
    file.strMD5 = "0123456789abcdef0123456789abcdef";
    return file;
}

// Fills the stored table in one transaction: only the reload is measured, not the filling.
bool FillStore(int rows) {
    std::shared_ptr<CDatabase> database;
    if (CDatabasePool::Instance().Acquire(DbFile::kSyncFile, database) != SQLITE_OK) {
        return false;
    }
    auto lock = database->Lock();
    CTransaction transaction(*database);
    int rc = transaction.Begin();
    const std::string sql = "INSERT INTO FileInfo(" + SyncFileColumnNames("") + ") VALUES(" +
                            Placeholders(kSyncFileColumnCount) + ")";
    for (int id = 1; rc == SQLITE_OK && id <= rows; ++id) {
        CStatement statement(*database, sql);
        BindSyncFile(statement, 1, Row(id));
        rc = statement.Run();
    }
    return transaction.Finish(rc) == SQLITE_OK;
}

double ReloadSeconds() {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        if (CTSyncFileArray::Get()->ReLoad() != 0) {
            return -1;
        }
        best = std::min(best, Seconds(start));
    }
    return best;
}

double LookupNanoseconds(int rows) {
    std::mt19937 random(7);
    std::vector<std::wstring> paths;
    for (int i = 0; i < 1000; ++i) {
        paths.push_back(Row(1 + static_cast<int>(random() % rows)).strRelativePath);
    }
    constexpr int kLookups = 1000000;
    TSyncFile out;
    int found = 0;
    const auto start = Clock::now();
    for (int i = 0; i < kLookups; ++i) {
        found += CTSyncFileArray::Get()->GetSyncFile(paths[i % paths.size()], out) ? 1 : 0;
    }
    const double ns = Seconds(start) * 1e9 / kLookups;
    return found == kLookups ? ns : -1;
}

double AddRowsPerSecond(int first) {
    constexpr int kRows = 10000;
    const auto start = Clock::now();
    for (int id = first; id < first + kRows; ++id) {
        if (CTSyncFileArray::Get()->Add(Row(id)) != 0) {
            return -1;
        }
    }
    return kRows / Seconds(start);
}

double QueueCyclesPerSecond() {
    CSyncingTaskArray* queue = CSyncingTaskArray::Get();
    if (queue->ReLoad() != 0) {
        return -1;
    }
    constexpr int kCycles = 5000;
    TComand task;
    task.iType = 1;
    task.iOper = OPER_ADD;
    task.tSyncFile = Row(1);
    const auto start = Clock::now();
    for (int i = 0; i < kCycles; ++i) {
        TComand front;
        if (queue->push_back(task) != 0 || queue->GetTask(front) != 1) {
            return -1;
        }
        front.tSyncFile.dataExtension.dataBreakPoint.strTempName = "download";
        if (queue->Modify(front) != 0 || queue->pop_front() != 0) {
            return -1;
        }
    }
    return kCycles / Seconds(start);
}

}  // namespace

int main() {
    std::filesystem::path home = MakeScratchFolder("corvena-bench-");
    if (home.empty()) {
        return 1;
    }
    setenv("CORVENA_HOME", home.c_str(), 1);
    CDbBase::SetAccount("bench");

    constexpr int kRows = 100000;
    int status = 0;
    if (!FillStore(kRows)) {
        std::fprintf(stderr, "cannot fill the table\n");
        status = 1;
    } else {
        std::printf("filetable_reload_100k_s %.3f s\n", ReloadSeconds());
        std::printf("filetable_lookup_ns %.0f ns\n", LookupNanoseconds(kRows));
        std::printf("filetable_add_rows_per_s %.0f rows/s\n", AddRowsPerSecond(kRows + 1));
        std::printf("queue_cycle_per_s %.0f cycles/s\n", QueueCyclesPerSecond());
        CDbBase::SetAccount("bench-small");
        constexpr int kSmallRows = 1000;
        if (FillStore(kSmallRows) && CTSyncFileArray::Get()->ReLoad() == 0) {
            std::printf("filetable_lookup_1k_ns %.0f ns\n", LookupNanoseconds(kSmallRows));
        }
    }
    CDbBase::SetAccount("");
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return status;
}
