#pragma once
// The commands of corvena-cli: their names, options, help texts and what each does. Every
// command ends with 0 on success and another code with one line on standard error otherwise;
// the codes that scripts may test are fixed here.
//
// Threads: the main thread only.

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;    // the command could not do its job; sync: tasks failed
constexpr int EXIT_NOT_DONE = 2;  // sync: the time passed, or no engine runs
constexpr int EXIT_STOPPED = 3;   // status: no engine runs
constexpr int EXIT_USAGE = 64;    // the command line is wrong

// Runs the command line (argv[0] is the program).
int RunCommandLine(int argc, char** argv);
