#pragma once
// Whole-file reads and writes for setting up and checking test files, and content to fill them.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace testing_support {

// Content that is not one byte over and over, so that a piece sent twice or out of place
// shows.
inline std::string PatternContent(std::size_t size, unsigned seed = 0) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        content[i] = char((i * 131 + i / 4099 + seed * 7) & 0xFF);
    }
    return content;
}

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
