#pragma once
// Random content for the transfer benchmarks, so that big files differ and nothing compresses.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

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
