#pragma once
// Starts the engine program with the message thread's id as its only argument, and the
// watchdog that starts it again while it should run: every 500 ms on the process clock, when
// the engine was started and the sync directory is adopted but no process of the engine's
// file name runs.
//
// Threads: StartEngine from any thread; the watchdog runs on a thread of its own between
// StartWatchdog and the destructor. m_bWatchEngine and CCommunication::m_bEngineStarted are
// atomics.

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/SyncObjects.h"
#include "platform/ThreadMessage.h"

class CEngineLauncher {
  public:
    // enginePath: the engine program (beside the client: EngineExePath()).
    explicit CEngineLauncher(std::filesystem::path enginePath);
    ~CEngineLauncher();
    CEngineLauncher(const CEngineLauncher&) = delete;
    CEngineLauncher& operator=(const CEngineLauncher&) = delete;

    // "tandrix" in the client's own folder.
    static std::filesystem::path EngineExePath();

    // 0: started with the decimal thread id as its one argument, and marked started;
    // 1: the program is missing or cannot be run.
    int StartEngine(plat::DWORD messageThreadId);
    // One watchdog tick.
    void WatchdogTick();
    // Ticks every 500 ms from now on.
    void StartWatchdog();
    // A process of the engine's file name runs (it may not have its window yet).
    bool IsEngineRunning() const;

    std::atomic<bool> m_bWatchEngine{false};

  private:
    void WatchdogLoop();

    std::filesystem::path m_enginePath;
    std::atomic<plat::DWORD> m_threadId{0};
    std::thread m_watchdog;
    plat::EventPtr m_stop = plat::CreateEvent(true, false);
};
