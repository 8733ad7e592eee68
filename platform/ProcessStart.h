#pragma once
// Starting a program as a child of this process and watching it, for a front end that
// supervises the engine itself (as a shell's "open" starts a program). The child gets this
// process's environment, an empty signal mask and a process group of its own, so that a
// Ctrl-C at the terminal reaches the front end only and the front end decides how the child
// ends.
//
// Any thread; a child is reaped by the IsChildRunning call that finds it ended.

#include <filesystem>
#include <string>
#include <vector>

namespace plat {

// The child's process id, or -1 when the program cannot be started.
int StartProcess(const std::filesystem::path& program, const std::vector<std::string>& args);

// True while the child runs; false once it has ended (it is reaped then) or for a pid that is
// not a child of this process.
bool IsChildRunning(int pid);

}  // namespace plat
