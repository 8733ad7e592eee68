#pragma once
// Looks up running processes by the file name of their executable, as a process snapshot does.

#include <string>
#include <vector>

namespace plat {

// Process ids of this user's processes whose executable file name (the last part of
// /proc/<pid>/exe) is exactly exeName (case-sensitive). Processes of other users are left out:
// the engine of another user's session is not this user's engine. A process that has ended but
// has not been reaped yet does not count.
std::vector<int> FindProcesses(const std::string& exeName);

bool IsProcessRunning(const std::string& exeName);

}  // namespace plat
