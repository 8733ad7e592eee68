// Figures of the transfer worker against the reference service, each printed as
// "name value unit":
//   worker_small_files_per_s         2,000 queued uploads of 4 KiB files, from the release of the
//                                    worker to its 2033 (every request and table write included)
//   worker_small_files_quiet_per_s   the same with the log threshold above every line
//   worker_small_files_hash_ms       where the time goes: hashing the 2,000 files,
//   worker_small_files_requests_ms   the five requests per file (check, state, data, commit,
//                                    details) made directly, hashing taken out; each kind also
//                                    alone as worker_small_files_<verify|state|put|commit|info>_ms
//                                    (the check with its hashing),
//   worker_small_files_tables_ms     the worker's table writes per file replayed without the
//                                    service (break point twice, file row, completed row, pop)
//   worker_large_upload_mib_per_s    one 1 GiB upload through the worker (its hashing included)
//   worker_limited_download_s        a 20 MiB download under a 2,000 KiB/s limit (about 10 s;
//                                    the program fails when it is off by more than half)
// The service runs as a child process from the release tree ($CORVENA_BUILD, else the folder
// above this program's).

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "common/GlobalSetting.h"
#include "common/Utility.h"
#include "platform/ThreadMessage.h"
#include "rest/FileMgr.h"
#include "rest/SyncMgr.h"
#include "store/SyncCodes.h"
#include "store/SyncStatus.h"
#include "testing/RefServiceProcess.h"
#include "testing/TransferHome.h"
#include "transfer/TransferManager.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kSmallFiles = 2000;
constexpr std::size_t kSmallFileBytes = 4096;
constexpr std::int64_t kLargeFileBytes = std::int64_t{1} << 30;
constexpr std::int64_t kLimitedBytes = std::int64_t{20} << 20;
constexpr int kLimitKiB = 2000;

TComand UploadTask(const std::string& name) {
    TComand task;
    task.iType = 1;
    task.iOper = OPER_ADD;
    task.tSyncFile.iType = 1;
    task.tSyncFile.strName = StringToWstring(name);
    task.tSyncFile.strRelativePath = L".\\" + task.tSyncFile.strName;
    return task;
}

class CBench {
  public:
    CBench(const std::string& program, const fs::path& home)
        : m_home(home), m_service(program, home / "service", kUser, kPassword) {
        std::string error = testing_support::PrepareTransferHome(m_service.Address(), kUser,
                                                                 kPasswordBase64, SyncDir());
        if (error.empty()) {
            error = testing_support::ReloadTransferState();
        }
        if (!error.empty()) {
            throw std::runtime_error(error);
        }
        plat::EnsureMessageQueue();
        CSyncStatus::Get()->SetFlag(MSYNC_FLAG_NETSERVICE, true);
        m_manager.Start();
        m_manager.SetParentThead(plat::GetCurrentThreadId());
    }

    void SmallFiles() {
        const double loud = RunSmallFiles("small", 1);
        Print("worker_small_files_per_s", kSmallFiles / loud, "files/s");
        CGlobalSetting().SetValue(L"main", L"logLevel", L"100", L"config.ini");
        const double quiet = RunSmallFiles("quiet", 2);
        CGlobalSetting().SetValue(L"main", L"logLevel", L"0", L"config.ini");
        Print("worker_small_files_quiet_per_s", kSmallFiles / quiet, "files/s");

        const std::vector<std::string> names = WriteSmallFiles("direct", 3);
        const auto hashStart = Clock::now();
        for (const std::string& name : names) {
            GetFileMd5((SyncDir() / name).string());
        }
        const double hash = Seconds(hashStart);
        Print("worker_small_files_hash_ms", hash * 1000, "ms");
        Print("worker_small_files_requests_ms", (Requests(names) - hash) * 1000, "ms");
        Print("worker_small_files_tables_ms", TableWrites() * 1000, "ms");
    }

    void LargeUpload() {
        WriteRandomFile(SyncDir() / "large.bin", kLargeFileBytes, 11);
        const double seconds = RunTasks({UploadTask("large.bin")});
        Print("worker_large_upload_mib_per_s", double(kLargeFileBytes) / (1 << 20) / seconds,
              "MiB/s");
        fs::remove(SyncDir() / "large.bin");
    }

    // False when the time is off by more than half.
    bool LimitedDownload() {
        const std::string content(static_cast<std::size_t>(kLimitedBytes), 'd');
        TComand task;
        task.iType = 0;
        task.iOper = OPER_ADD;
        task.tSyncFile.iType = 1;
        task.tSyncFile.iId = static_cast<int>(m_service.PutFile(kUser, "limited.bin", content));
        task.tSyncFile.strName = L"limited.bin";
        task.tSyncFile.strRelativePath = L".\\limited.bin";
        plat::PostThreadMessage(m_manager.GetThreadId(), MSG_SETTING_MAXSPEED, 0, kLimitKiB);
        const double seconds = RunTasks({task});
        plat::PostThreadMessage(m_manager.GetThreadId(), MSG_SETTING_MAXSPEED, 0, 0);
        Print("worker_limited_download_s", seconds, "s");
        const double expected = double(kLimitedBytes) / (kLimitKiB * 1024.0);
        if (seconds < expected * 0.5 || seconds > expected * 1.5) {
            std::fprintf(stderr, "limited download took %.1f s, expected about %.1f s\n", seconds,
                         expected);
            return false;
        }
        return true;
    }

  private:
    fs::path SyncDir() const { return m_home / "sync"; }

    std::vector<std::string> WriteSmallFiles(const std::string& prefix, unsigned seed) {
        std::vector<std::string> names;
        for (int i = 0; i < kSmallFiles; ++i) {
            names.push_back(prefix + std::to_string(i) + ".txt");
            WriteRandomFile(SyncDir() / names.back(), kSmallFileBytes, seed * 100000 + i);
        }
        return names;
    }

    double RunSmallFiles(const std::string& prefix, unsigned seed) {
        std::vector<TComand> tasks;
        for (const std::string& name : WriteSmallFiles(prefix, seed)) {
            tasks.push_back(UploadTask(name));
        }
        return RunTasks(tasks);
    }

    // Queues the tasks, releases the worker and waits for its 2033; the seconds from release.
    static double RunTasks(std::vector<TComand> tasks) {
        CSyncingTaskArray::Get()->push_back(tasks);
        const auto start = Clock::now();
        CSyncingTaskArray::Get()->Release(1);
        plat::MSG msg;
        while (plat::GetMessage(&msg) > 0 && msg.message != MSG_SYNC_COMPLETE_ALL) {
        }
        return Seconds(start);
    }

    // The five requests of each upload made directly; prints the time of each kind and
    // returns their sum.
    double Requests(const std::vector<std::string>& names) {
        const UserInfo user = CUserInfoLD::Get()->GetUserInfo();
        const std::wstring syncDir = StringToWstring(SyncDir().string());
        CSyncMgr session(0);
        double steps[5] = {};
        for (const std::string& name : names) {
            TSyncFile file = UploadTask(name).tSyncFile;
            std::string offset = "0";
            const std::function<int()> calls[5] = {
                [&] { return session.UploadFile1Verify(user, syncDir, file); },
                [&] { return session.UploadFile2State(user, file, offset); },
                [&] { return session.UploadFile3Put(user, syncDir, file, offset); },
                [&] { return session.UploadFile4Commit(user, file); },
                [&] { return CFileMgr(4).GetFileInfo(user, file); }};
            for (int step = 0; step < 5; ++step) {
                const auto start = Clock::now();
                if (calls[step]() != 0) {
                    throw std::runtime_error("upload of " + name + " failed");
                }
                steps[step] += Seconds(start);
            }
        }
        const char* const figures[5] = {"worker_small_files_verify_ms",
                                        "worker_small_files_state_ms", "worker_small_files_put_ms",
                                        "worker_small_files_commit_ms",
                                        "worker_small_files_info_ms"};
        double total = 0;
        for (int step = 0; step < 5; ++step) {
            Print(figures[step], steps[step] * 1000, "ms");
            total += steps[step];
        }
        return total;
    }

    static double TableWrites() {
        std::vector<TComand> tasks;
        for (int i = 0; i < kSmallFiles; ++i) {
            tasks.push_back(UploadTask("replay" + std::to_string(i)));
        }
        CSyncingTaskArray* queue = CSyncingTaskArray::Get();
        queue->push_back(tasks);
        const auto start = Clock::now();
        for (int i = 0; i < kSmallFiles; ++i) {
            TComand task;
            queue->GetTask(task);
            task.tSyncFile.dataExtension.dataBreakPoint.strTempName = "s_name";
            queue->Modify(task);
            task.tSyncFile.dataExtension.dataBreakPoint.strTempName.clear();
            queue->Modify(task);
            task.tSyncFile.iId = 10000000 + i;
            CTSyncFileArray::Get()->Add(task.tSyncFile);
            CSyncCompletedArray::Get()->Add(task);
            queue->pop_front();
        }
        return Seconds(start);
    }

    fs::path m_home;
    testing_support::CRefServiceProcess m_service;
    CTransferManager m_manager;
};

}  // namespace

int main() {
    const fs::path home = MakeScratchFolder("corvena-bench-");
    if (home.empty()) {
        return 1;
    }
    setenv("CORVENA_HOME", home.c_str(), 1);
    int status = 0;
    try {
        CBench bench((BuildDir() / "bin" / "refservice").string(), home);
        bench.SmallFiles();
        bench.LargeUpload();
        status = bench.LimitedDownload() ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_transfer: %s\n", error.what());
        status = 1;
    }
    std::error_code ec;
    fs::remove_all(home, ec);
    return status;
}
