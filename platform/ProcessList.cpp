#include "platform/ProcessList.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <string_view>

namespace plat {

namespace {

namespace fs = std::filesystem;

bool IsNumber(const std::string& text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

// The executable's file name; empty when it cannot be read (another user's process, a zombie,
// a process that just ended).
std::string ExecutableName(const fs::path& processDir) {
    std::error_code error;
    std::string target = fs::read_symlink(processDir / "exe", error).string();
    if (error) {
        return {};
    }
    // A program replaced on disk while it runs still counts.
    constexpr std::string_view kDeleted = " (deleted)";
    if (target.size() > kDeleted.size() && target.ends_with(kDeleted)) {
        target.resize(target.size() - kDeleted.size());
    }
    return fs::path(target).filename().string();
}

bool IsOwnProcess(const fs::path& processDir) {
    struct stat info {};
    return ::stat(processDir.c_str(), &info) == 0 && info.st_uid == ::getuid();
}

}  // namespace

std::vector<int> FindProcesses(const std::string& exeName) {
    std::vector<int> found;
    if (exeName.empty()) {
        return found;
    }
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (IsNumber(name) && IsOwnProcess(entry.path()) &&
            ExecutableName(entry.path()) == exeName) {
            found.push_back(std::stoi(name));
        }
    }
    return found;
}

bool IsProcessRunning(const std::string& exeName) {
    return !FindProcesses(exeName).empty();
}

}  // namespace plat
