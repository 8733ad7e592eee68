#pragma once
// The crash report: when the process dies of a fatal signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT), a handler writes a text report named after the local time and the process id,
// "YYYYMMDDhhmmss-<pid>.crash", into the day's log folder (<state folder>/log/<yy>年<mm>月<dd>日/,
// the folder the trace log writes to), with the signal, the faulting address and a backtrace
// of the crashing thread, then lets the signal end the process as it would have.

namespace plat {

// Installs the handler for the whole process. The state folder is taken now; call it once at
// start, from the main thread (a stack overflow there is reported too, on a stack of its own).
void InstallCrashHandler();

}  // namespace plat
