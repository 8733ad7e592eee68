#pragma once
// What every benchmark program needs: a timer, the figure line, a scratch folder, the release
// tree, and random content so that big files differ and nothing compresses.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/Paths.h"

// The account every benchmark's reference service holds, and the password as the login dialog
// stores it (its Base64 text).
constexpr const char* kUser = "bench";
constexpr const char* kPassword = "secret";
constexpr const char* kPasswordBase64 = "c2VjcmV0";

inline double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One figure as "name value unit", flushed at once so a later failure does not swallow it.
inline void Print(const char* name, double value, const char* unit) {
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

// A new empty folder in base (the temporary folder unless given), named prefix plus a unique
// ending; an empty path (reported on stderr) when none can be made.
inline std::filesystem::path MakeScratchFolder(
    const char* prefix,
    const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
    std::string pattern = (base / prefix).string() + "XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return {};
    }
    return pattern;
}

// The release tree the benchmarks run from: $CORVENA_BUILD, else the folder above bin/.
inline std::filesystem::path BuildDir() {
    const char* build = getenv("CORVENA_BUILD");
    return build != nullptr ? std::filesystem::path(build)
                            : plat::ExecutablePath().parent_path().parent_path();
}

inline void WriteRandomFile(const std::filesystem::path& path, std::int64_t bytes, unsigned seed) {
    std::mt19937_64 random(seed);
    std::vector<std::uint64_t> block(1 << 17);
    std::ofstream out(path, std::ios::binary);
    for (std::int64_t written = 0; written < bytes;) {
        for (auto& word : block) {
            word = random();
        }
        auto size = std::min<std::int64_t>(bytes - written, std::int64_t(block.size() * 8));
        out.write(reinterpret_cast<const char*>(block.data()), size);
        written += size;
    }
}
