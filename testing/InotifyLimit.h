#pragma once
// Runs one test of this program (a DISABLED_ test that plays the part) in a child process
// whose user namespace allows only a few inotify watches, so that a test can reach the watch
// limit without touching the machine's own. The namespace is made by util-linux's unshare
// before the test program starts: a process that already runs threads (as a sanitizer's
// runtime does) cannot enter a new user namespace itself.

#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace testing_support {

enum class LimitedRun { Passed, Failed, Unsupported };

namespace detail {

// The exit status of the program, or -1 when it could not be run.
inline int RunProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

}  // namespace detail

// testName "Suite.DISABLED_Name".
inline LimitedRun RunTestWithInotifyWatchLimit(int limit, const std::string& testName) {
    constexpr int kCannotLimit = 77;
    const std::vector<std::string> unshare = {"unshare", "--user", "--map-root-user"};
    std::vector<std::string> probe = unshare;
    probe.push_back("true");
    if (detail::RunProgram(probe) != 0) {
        return LimitedRun::Unsupported;
    }
    std::vector<std::string> args = unshare;
    args.insert(args.end(), {"sh", "-c",
                             "echo " + std::to_string(limit) +
                                 " > /proc/sys/user/max_inotify_watches || exit " +
                                 std::to_string(kCannotLimit) + "; exec \"$0\" \"$@\"",
                             std::filesystem::read_symlink("/proc/self/exe").string(),
                             "--gtest_filter=" + testName, "--gtest_also_run_disabled_tests"});
    switch (detail::RunProgram(args)) {
        case 0:
            return LimitedRun::Passed;
        case kCannotLimit:
            return LimitedRun::Unsupported;
        default:
            return LimitedRun::Failed;
    }
}

}  // namespace testing_support
