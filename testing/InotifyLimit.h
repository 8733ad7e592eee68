#pragma once
// Runs part of a test in a child process whose user namespace allows only a few inotify
// watches, so that the watch limit can be reached without touching the machine's own limit.
// The child must be forked while the test process has a single thread.

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>

namespace testing_support {

// Result of RunWithInotifyWatchLimit.
enum class LimitedRun { Passed, Failed, Unsupported };

namespace detail {

inline bool WriteProcFile(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    out.flush();
    return static_cast<bool>(out);
}

inline bool EnterNamespaceWithWatchLimit(int limit) {
    uid_t uid = getuid();
    gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER) != 0) {
        return false;
    }
    WriteProcFile("/proc/self/setgroups", "deny");
    return WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
           WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1") &&
           WriteProcFile("/proc/sys/user/max_inotify_watches", std::to_string(limit));
}

}  // namespace detail

// Forks; the child enters a new user namespace with at most `limit` inotify watches and runs
// body, whose result (true = passed) becomes the child's exit status. Unsupported when the
// system does not let the child make such a namespace.
inline LimitedRun RunWithInotifyWatchLimit(int limit, const std::function<bool()>& body) {
    pid_t pid = fork();
    if (pid == 0) {
        if (!detail::EnterNamespaceWithWatchLimit(limit)) {
            _exit(2);
        }
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return LimitedRun::Failed;
    }
    switch (WEXITSTATUS(status)) {
        case 0:
            return LimitedRun::Passed;
        case 2:
            return LimitedRun::Unsupported;
        default:
            return LimitedRun::Failed;
    }
}

}  // namespace testing_support
