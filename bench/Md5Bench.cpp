// md5_mib_per_s: GetFileMd5 on a 1 GiB file; md5_openssl_mib_per_s: `openssl dgst -md5` on the
// same file in the same run. The file is written first, so both read it from the page cache;
// each side runs three times and its best run counts.
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "bench/BenchSupport.h"
#include "common/Utility.h"

namespace {

constexpr std::size_t kFileBytes = std::size_t(1) << 30;
constexpr int kRounds = 3;

std::string OpensslMd5(const std::string& path) {
    std::string command = "openssl dgst -md5 -r '" + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return std::string();
    }
    char line[256] = {};
    std::fgets(line, sizeof line, pipe);
    pclose(pipe);
    return std::string(line).substr(0, 32);
}

// Best throughput of kRounds runs; digest gets the text of the last run.
double BestMibPerSecond(const std::function<std::string()>& run, std::string& digest) {
    double best = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        digest = run();
        best = std::max(best, static_cast<double>(kFileBytes) / (1 << 20) / Seconds(start));
    }
    return best;
}

}  // namespace

int main() {
    std::filesystem::path folder = MakeScratchFolder("corvena-md5-");
    if (folder.empty()) {
        return 1;
    }
    std::string path = (folder / "data.bin").string();
    WriteRandomFile(path, kFileBytes, 42);
    std::string ours;
    std::string theirs;
    double ourSpeed = BestMibPerSecond([&] { return GetFileMd5(path); }, ours);
    double opensslSpeed = BestMibPerSecond([&] { return OpensslMd5(path); }, theirs);
    std::filesystem::remove_all(folder);
    if (ours.empty() || ours != theirs) {
        std::fprintf(stderr, "digests differ: %s %s\n", ours.c_str(), theirs.c_str());
        return 1;
    }
    std::printf("md5_mib_per_s %.1f MiB/s\n", ourSpeed);
    std::printf("md5_openssl_mib_per_s %.1f MiB/s\n", opensslSpeed);
    return 0;
}
