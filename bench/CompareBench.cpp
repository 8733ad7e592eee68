// Figures of the offline comparison against the reference service, each printed as
// "name value unit":
//   walk_100k_s                    the bare metadata walk (readdir + fstatat) of 100,000 files in
//                                  1,000 folders
//   listing_100k_transfer_s        the bare transfer of the same account's listing (libcurl
//                                  into memory, nothing read)
//   offline_compare_100k_s         one whole comparison when nothing changed: disk scan, table
//                                  copy, listing fetched and read, the three stages
//   offline_compare_rss_mib_100k   peak resident memory of a process that loads the state and
//                                  runs that comparison once
//   compare_100k_changed_s         one comparison after 1,000 edits, additions and deletions
//                                  on each side; compare_100k_changed_tasks its task count
//                                  (8,000 expected)
//   compare_100k_part_disk_scan_s, compare_100k_part_server_scan_s   the disk scan (with the
//                                  table snapshot) and the server scan of that comparison alone
//   walk_1m_s, listing_1m_transfer_s, offline_compare_1m_s   the same at 1,000,000 files
// Times are the best of three. The service runs as a child process from the release tree, its
// metadata written before it starts; each measurement runs in a fresh process of this program
// that loads the state tables as the engine does at its start.

#include <curl/curl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/SeededAccount.h"
#include "common/Utility.h"
#include "engine/DiskScanner.h"
#include "engine/OfflineComparison.h"
#include "engine/ServerScan.h"
#include "platform/DirectoryScan.h"
#include "rest/SyncMgr.h"
#include "service/AccountBook.h"
#include "service/MetaStore.h"
#include "store/TSyncFileArray.h"
#include "store/UserInfoLD.h"
#include "store/tablestore/DatabasePool.h"
#include "store/tablestore/DbBase.h"
#include "store/tablestore/RecordColumns.h"
#include "store/tablestore/SystemInfo.h"
#include "testing/RefServiceProcess.h"
#include "testing/TransferHome.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFolders = 1000;
constexpr int kChanges = 1000;

size_t KeepAll(char* data, size_t size, size_t count, void* answer) {
    static_cast<std::string*>(answer)->append(data, size * count);
    return size * count;
}

double ListingTransferSeconds(const std::string& address) {
    const UserInfo user = CUserInfoLD::Get()->GetUserInfo();
    curl_slist* headers = nullptr;
    for (const std::string& header :
         {std::string("ent_uclient: 4"), "ent_uid: " + user.strUserId,
          "ent_utoken: " + user.strToken, "ent_utype: " + user.strUserType}) {
        headers = curl_slist_append(headers, header.c_str());
    }
    CURL* curl = curl_easy_init();
    const std::string url = "http://" + address + "/biz/ent/synch/modify";
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        std::string answer;
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, "");
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, KeepAll);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
        const auto start = Clock::now();
        if (curl_easy_perform(curl) != CURLE_OK || answer.size() < 1000) {
            throw std::runtime_error("the listing transfer failed");
        }
        best = std::min(best, Seconds(start));
    }
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    return best;
}

double WalkSeconds(const fs::path& syncDir) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        plat::ScanTree tree;
        const auto start = Clock::now();
        if (plat::ScanDirectoryTree(
                syncDir, [](std::string_view) { return true; }, tree) != 0) {
            throw std::runtime_error("the walk failed");
        }
        best = std::min(best, Seconds(start));
    }
    return best;
}

// One comparison; its time, with the task count in tasks.
double CompareSeconds(std::size_t& taskCount) {
    COfflineComparison comparison;
    std::vector<TComand> tasks;
    const auto start = Clock::now();
    const int result = comparison.GetOffLineTask(tasks);
    const double seconds = Seconds(start);
    if (result != 0) {
        throw std::runtime_error("the comparison failed: " + std::to_string(result));
    }
    taskCount = tasks.size();
    return seconds;
}

// The peak resident memory of this process since it started, in KiB. Not getrusage's
// ru_maxrss: a program started by posix_spawn runs in its parent's memory until it execs, and
// the kernel carries the peak of that memory (the seeding parent's) over into the figure.
double PeakResidentKiB() {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stod(line.substr(6));
        }
    }
    throw std::runtime_error("no peak resident memory in /proc/self/status");
}

// Where the comparison's time goes: its disk scan with the table snapshot, and its server scan.
void PrintParts(const std::string& suffix, const fs::path& syncDir) {
    double scan = 1e9;
    double listing = 1e9;
    for (int run = 0; run < 3; ++run) {
        auto start = Clock::now();
        CDiskScanner disk;
        if (disk.Scan(StringToWstring(syncDir.string()), *CTSyncFileArray::Get()->Snapshot(),
                      std::nullopt) != 0) {
            throw std::runtime_error("the disk scan failed");
        }
        scan = std::min(scan, Seconds(start));
        start = Clock::now();
        CPackedFiles server;
        std::unordered_set<int> refused;
        if (CServerScan::Scan(server, refused) != 0) {
            throw std::runtime_error("the server scan failed");
        }
        listing = std::min(listing, Seconds(start));
    }
    Print(("compare_" + suffix + "_part_disk_scan_s").c_str(), scan, "s");
    Print(("compare_" + suffix + "_part_server_scan_s").c_str(), listing, "s");
}

// --- the measuring child: bench_compare measure MODE SUFFIX ADDRESS SYNCDIR
int Measure(const std::string& mode, const std::string& suffix, const std::string& address,
            const fs::path& syncDir) {
    CDbBase::SetAccount(kUser);
    if (!testing_support::ReloadTransferState().empty()) {
        throw std::runtime_error("cannot load the state");
    }
    std::size_t taskCount = 0;
    if (mode == "same") {
        Print(("walk_" + suffix + "_s").c_str(), WalkSeconds(syncDir), "s");
        Print(("listing_" + suffix + "_transfer_s").c_str(), ListingTransferSeconds(address), "s");
        double best = 1e9;
        for (int run = 0; run < 3; ++run) {
            best = std::min(best, CompareSeconds(taskCount));
            if (taskCount != 0) {
                throw std::runtime_error("nothing changed, yet tasks were built");
            }
        }
        Print(("offline_compare_" + suffix + "_s").c_str(), best, "s");
        PrintParts(suffix, syncDir);
    } else if (mode == "rss") {
        CompareSeconds(taskCount);
        Print(("offline_compare_rss_mib_" + suffix).c_str(), PeakResidentKiB() / 1024.0, "MiB");
    } else {
        Print(("compare_" + suffix + "_changed_s").c_str(), CompareSeconds(taskCount), "s");
        Print(("compare_" + suffix + "_changed_tasks").c_str(), double(taskCount), "tasks");
        if (taskCount != 8 * kChanges) {
            std::fprintf(stderr, "expected %d tasks\n", 8 * kChanges);
            return 1;
        }
    }
    return 0;
}

void RunChild(const std::string& mode, const std::string& suffix, const std::string& address,
              const fs::path& syncDir) {
    std::vector<std::string> args = {fs::read_symlink("/proc/self/exe").string(),
                                     "measure",
                                     mode,
                                     suffix,
                                     address,
                                     syncDir.string()};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot start the measuring process");
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("the measuring process failed (" + mode + ")");
    }
}

// 1,000 of each change on each side, on distinct files of distinct folders.
void Change(testing_support::CRefServiceProcess& service, const fs::path& syncDir) {
    for (int k = 0; k < kChanges; ++k) {
        std::ofstream(syncDir / bench_seed::FileName(k, 0)) << "edited locally " << k;
        std::ofstream(syncDir / ("d" + std::to_string(k)) / "new.txt") << "added locally";
        fs::remove(syncDir / bench_seed::FileName(k, 1));
        service.PutFile(kUser, bench_seed::FileName(k, 2),
                        "edited on the service " + std::to_string(k));
        service.PutFile(kUser, "d" + std::to_string(k) + "/snew.txt", "added on the service");
        service.Control(
            "/admin/fs/delete",
            testing_support::JsonObject({{"user", kUser}, {"path", bench_seed::FileName(k, 3)}}));
    }
}

void RunSize(const fs::path& scratch, int files, const std::string& suffix, bool bChanged) {
    const fs::path home = scratch / suffix;
    setenv("CORVENA_HOME", (home / "home").c_str(), 1);
    bench_seed::SeedService(home / "service", kUser, kPassword, kFolders, files);
    testing_support::CRefServiceProcess service((BuildDir() / "bin" / "refservice").string(),
                                                home / "service", kUser, kPassword);
    const fs::path syncDir = home / "sync";
    const std::string prepared =
        testing_support::PrepareTransferHome(service.Address(), kUser, kPasswordBase64, syncDir);
    if (!prepared.empty()) {
        throw std::runtime_error(prepared);
    }
    bench_seed::SeedDisk(syncDir, kFolders, files);
    CUserInfoLD::Get()->ReLoad();
    bench_seed::SeedTable(syncDir);
    bench_seed::MarkCompared();
    RunChild("same", suffix, service.Address(), syncDir);
    if (bChanged) {
        RunChild("rss", suffix, service.Address(), syncDir);
        Change(service, syncDir);
        RunChild("changed", suffix, service.Address(), syncDir);
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 6 && std::string(argv[1]) == "measure") {
            return Measure(argv[2], argv[3], argv[4], argv[5]);
        }
        const fs::path scratch = MakeScratchFolder("corvena-compare-bench-");
        if (scratch.empty()) {
            return 1;
        }
        int status = 0;
        try {
            // "bench_compare 100k" leaves the large size out.
            RunSize(scratch, 100000, "100k", true);
            if (argc < 2 || std::string(argv[1]) != "100k") {
                RunSize(scratch, 1000000, "1m", false);
            }
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s\n", error.what());
            status = 1;
        }
        std::error_code ec;
        fs::remove_all(scratch, ec);
        return status;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
