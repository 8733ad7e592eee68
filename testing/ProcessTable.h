#pragma once
// What /proc tells of other processes: the children of one (the engine a front end started),
// and whether one still runs (a zombie does not).

#include <dirent.h>
#include <sys/types.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

// The state letter and the parent of a process; false when it is gone.
inline bool ReadProcessStat(const std::string& pid, std::string& state, pid_t& parent) {
    std::ifstream in("/proc/" + pid + "/stat");
    std::stringstream text;
    text << in.rdbuf();
    const std::string stat = text.str();
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) {
        return false;
    }
    std::istringstream fields(stat.substr(close + 2));
    fields >> state >> parent;
    return !fields.fail();
}

inline std::vector<pid_t> ChildrenOf(pid_t pid) {
    std::vector<pid_t> children;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc != nullptr ? readdir(proc) : nullptr) {
        std::string state;
        pid_t parent = 0;
        if (ReadProcessStat(entry->d_name, state, parent) && parent == pid && state != "Z") {
            children.push_back(std::atoi(entry->d_name));
        }
    }
    if (proc != nullptr) {
        closedir(proc);
    }
    return children;
}

inline bool ProcessRuns(pid_t pid) {
    std::string state;
    pid_t parent = 0;
    return pid > 0 && ReadProcessStat(std::to_string(pid), state, parent) && state != "Z";
}

}  // namespace testing_support
