#pragma once
// `corvena-cli run`: the engine's front end without a desktop. It takes the front end's
// single-instance lock (the one the desktop client takes, so only one of them is the engine's
// front end), logs in silently with the stored account, starts the engine with its message
// thread's id and supervises it, polls the account's space every 5 seconds (which tells the
// engine when the service goes and comes back), and prints one line per engine message. A
// SIGINT or SIGTERM ends the engine (MSG_ENGINE_EXIT, then its window's end awaited) and the
// run.
//
// Threads: the main thread runs Run and the watchdog; the message thread prints the engine's
// messages; the space poll has a thread of its own. The printing callbacks only read the
// sync directory, fixed before the threads start.

// 0 after a stop by signal or when the account was logged out; 1 when the run cannot start
// or the engine refuses the sync directory.
int RunFrontEnd(bool bQuiet);
