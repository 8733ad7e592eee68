#pragma once
// Whole-file reads and writes for setting up and checking test files.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace testing_support {

inline void WriteWholeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

// Empty text for a file that cannot be read.
inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace testing_support
