// aflog_lines_per_s: lines written per second by AfLog from 4 threads at threshold 0, so that
// every line reaches the file (each line reads config.ini and appends under the lock).
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "common/AfLog.h"
#include "common/GlobalSetting.h"

namespace {

constexpr int kThreads = 4;
constexpr int kLinesPerThread = 25000;

}  // namespace

int main() {
    std::filesystem::path home = MakeScratchFolder("corvena-aflog-");
    if (home.empty()) {
        return 1;
    }
    setenv("CORVENA_HOME", home.c_str(), 1);
    CGlobalSetting().SetValue(L"main", L"logLevel", L"0", L"config.ini");

    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLinesPerThread; ++i) {
                AfLog(0, "AfLogBench.cpp", "CBench::Run", __LINE__,
                      "Upload file = (%s), task (%d) of thread (%d)", ".\\a\\b\\report.docx", i, t);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    double seconds = Seconds(start);
    std::filesystem::remove_all(home);
    std::printf("aflog_lines_per_s %.0f lines/s\n", kThreads * kLinesPerThread / seconds);
    return 0;
}
