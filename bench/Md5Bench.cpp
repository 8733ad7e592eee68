// md5_mib_per_s: GetFileMd5 on a 1 GiB file; md5_openssl_mib_per_s: `openssl dgst -md5` on the
// same file in the same run. The file is written first, so both read it from the page cache;
// each side runs three times and its best run counts.
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/Utility.h"

namespace {

constexpr std::size_t kFileBytes = std::size_t(1) << 30;
constexpr int kRounds = 3;

void WriteTestFile(const std::string& path) {
    std::vector<char> block(1 << 20);
    std::mt19937_64 random(42);
    std::ofstream out(path, std::ios::binary);
    for (std::size_t written = 0; written < kFileBytes; written += block.size()) {
        for (std::size_t i = 0; i < block.size(); i += 8) {
            std::uint64_t value = random();
            std::memcpy(block.data() + i, &value, 8);
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

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
        std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        best = std::max(best, static_cast<double>(kFileBytes) / (1 << 20) / seconds.count());
    }
    return best;
}

}  // namespace

int main() {
    std::string folder = (std::filesystem::temp_directory_path() / "corvena-md5-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    std::string path = folder + "/data.bin";
    WriteTestFile(path);
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
