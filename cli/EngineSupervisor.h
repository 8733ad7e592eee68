#pragma once
// Starts the engine program with the front end's message thread id as its only argument and
// starts it again when it is gone, as the desktop client's 500 ms watchdog does. It watches
// the process it started itself (not any process of that name, which may be another user's
// session or another home's engine).
//
// Threads: the front end's main thread only.

#include <filesystem>

#include "platform/ThreadMessage.h"

class CEngineSupervisor {
  public:
    static constexpr plat::DWORD kWatchdogPeriodMs = 500;

    explicit CEngineSupervisor(std::filesystem::path enginePath)
        : m_enginePath(std::move(enginePath)) {}

    // "tandrix" beside this program.
    static std::filesystem::path EnginePath();

    // 0: started with the decimal thread id; 1: the program is missing or cannot be run.
    int Start(plat::DWORD messageThreadId);
    // One watchdog tick: starts the engine again when the one started is gone. True when it
    // was started again.
    bool Tick();
    // The watchdog no longer starts the engine (before it is told to end).
    void Disarm() { m_bArmed = false; }
    bool IsRunning() const;

  private:
    std::filesystem::path m_enginePath;
    plat::DWORD m_dwThread = 0;
    int m_pid = -1;
    bool m_bArmed = false;
};
