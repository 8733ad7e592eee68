#include "platform/Paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace plat {

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// XDG base folders must be absolute; a relative value is ignored, as the XDG base directory
// rules require.
fs::path AbsoluteEnv(const char* name) {
    fs::path value = Env(name);
    return value.is_absolute() ? value : fs::path();
}

fs::path HomeDir() {
    if (fs::path home = AbsoluteEnv("HOME"); !home.empty()) {
        return home;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
        result != nullptr && result->pw_dir != nullptr) {
        return result->pw_dir;
    }
    return "/";
}

void MakeDirAndParents(const fs::path& dir) {
    if (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) {
        return;
    }
    if (errno == ENOENT && dir.has_parent_path() && dir.parent_path() != dir) {
        MakeDirAndParents(dir.parent_path());
        ::mkdir(dir.c_str(), 0700);
    }
}

// Creates the folder and any missing parent with mode 0700, once per folder and process: the
// folders are asked for several times for every file a transfer handles. Failures show up
// later, when the caller opens something in it.
void MakePrivateDir(const fs::path& dir) {
    static std::mutex mutex;
    static std::set<std::string, std::less<>> made;
    std::lock_guard<std::mutex> lock(mutex);
    if (made.count(dir.native()) != 0) {
        return;
    }
    MakeDirAndParents(dir);
    struct stat info {};
    if (::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        made.insert(dir.native());
    }
}

// $CORVENA_HOME/<sub>, else <XDG base>/corvena.
fs::path Folder(const char* homeSub, const char* xdgVariable, const char* homeRelative) {
    fs::path dir;
    if (std::string home = Env("CORVENA_HOME"); !home.empty()) {
        dir = fs::absolute(home) / homeSub;
    } else if (fs::path base = AbsoluteEnv(xdgVariable); !base.empty()) {
        dir = base / "corvena";
    } else {
        dir = HomeDir() / homeRelative / "corvena";
    }
    MakePrivateDir(dir);
    return dir;
}

// A shared folder such as /tmp is only used when the folder in it is ours, a real folder and
// private; anyone could have made it first.
bool IsOwnPrivateDir(const fs::path& dir) {
    struct stat info {};
    if (::lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
        return false;
    }
    return (info.st_mode & 0077) == 0 || ::chmod(dir.c_str(), 0700) == 0;
}

}  // namespace

fs::path ConfigDir() {
    return Folder("config", "XDG_CONFIG_HOME", ".config");
}

fs::path DataDir() {
    return Folder("data", "XDG_DATA_HOME", ".local/share");
}

fs::path StateDir() {
    return Folder("state", "XDG_STATE_HOME", ".local/state");
}

fs::path RuntimeDir() {
    if (std::string home = Env("CORVENA_HOME"); !home.empty()) {
        fs::path dir = fs::absolute(home) / "run";
        MakePrivateDir(dir);
        return dir;
    }
    fs::path dir;
    if (fs::path base = AbsoluteEnv("XDG_RUNTIME_DIR"); !base.empty()) {
        dir = base / "corvena";
    } else {
        dir = "/tmp/corvena-" + std::to_string(getuid());
    }
    MakePrivateDir(dir);
    return IsOwnPrivateDir(dir) ? dir : fs::path();
}

fs::path ExecutablePath() {
    std::error_code error;
    fs::path path = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : path;
}

}  // namespace plat
