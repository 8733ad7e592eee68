#pragma once
// The headless front end as a user's scripts drive it: `corvena-cli run --quiet` as a child,
// which starts tandrix and supervises it, and the one-shot commands pause, resume,
// confirm-deletions and `sync --wait` beside it. What every command prints goes to one log
// file (kept with a failed run's home).
//
// A kill takes the run and its engine down together (the run first, so that its watchdog does
// not start the engine again), so that the engine stays down until the next start, as it does
// with the engine's own front. An engine that ends by itself is started again by the run; the
// front counts that as not running, so that the campaign still sees it.
//
// Threads: the driver's thread only.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/converge/EngineFront.h"

namespace converge {

class CCliFront : public CEngineFront {
  public:
    // cli the corvena-cli program (tandrix beside it); log the file every command writes to.
    CCliFront(std::string cli, std::filesystem::path log);
    ~CCliFront() override;
    CCliFront(const CCliFront&) = delete;
    CCliFront& operator=(const CCliFront&) = delete;

    bool Start() override;
    void Kill() override;
    void End() override;
    bool Running() override;
    void Pause() override;
    void Resume() override;
    // confirm-deletions, then a `sync --wait` in the background unless one still waits.
    void CompareNow() override;
    // `sync --wait` to its end: exit 0 and "synced".
    bool ConfirmSynced(std::string& said) override;

  private:
    pid_t Spawn(const std::vector<std::string>& args, const std::filesystem::path& output) const;
    // Runs a one-shot command to its end (killed after a while).
    void RunCommand(const std::vector<std::string>& args) const;
    // The engine the run started, from /proc; -1 while it has none.
    pid_t EngineOf(pid_t run) const;
    void ReapSync();

    std::string m_cli;
    std::filesystem::path m_log;
    pid_t m_run = -1;
    pid_t m_engine = -1;
    pid_t m_sync = -1;
};

}  // namespace converge
