#include "platform/ProcessStart.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace plat {

int StartProcess(const std::filesystem::path& program, const std::vector<std::string>& args) {
    std::vector<std::string> texts{program.string()};
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0) {
        return -1;
    }
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, texts[0].c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    return rc == 0 ? static_cast<int>(pid) : -1;
}

bool IsChildRunning(int pid) {
    if (pid <= 0) {
        return false;
    }
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

}  // namespace plat
