#pragma once
// How a convergence run drives the engine: start it, kill it, end it, pause and resume it,
// and ask for a comparison now. The run talks to this interface only, so that the front end
// behind it (corvena-cli, CliFront.h, or the engine's own messages from a stand-in for the
// desktop client's thread, below) is chosen without touching the run.
//
// Threads: the driver's thread calls everything; the stand-in's thread only reads its queue.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/ThreadMessage.h"

namespace converge {

class CEngineFront {
  public:
    virtual ~CEngineFront() = default;
    // Starts tandrix in the current CORVENA_HOME and waits for its window; false when it made
    // none within the time.
    virtual bool Start() = 0;
    // SIGKILL, then the process reaped.
    virtual void Kill() = 0;
    // Ends it as the desktop client does; killed when it does not end in time.
    virtual void End() = 0;
    virtual bool Running() = 0;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // Asks for a comparison now, the user confirming deletions the engine holds back.
    virtual void CompareNow() = 0;
    // Once everything agrees: asks the front end whether it says so too; false with what it
    // said instead.
    virtual bool ConfirmSynced(std::string& said) = 0;
};

// The engine's own messages, posted to its window from a thread that stands in for the
// desktop client's message thread (made after CORVENA_HOME is set, so that the engine reaches
// its queue). Every message the engine posts back is read and dropped.
class CMessageFront : public CEngineFront {
  public:
    explicit CMessageFront(std::string program);
    ~CMessageFront() override;
    CMessageFront(const CMessageFront&) = delete;
    CMessageFront& operator=(const CMessageFront&) = delete;

    bool Start() override;
    void Kill() override;
    void End() override;
    bool Running() override;
    void Pause() override;
    void Resume() override;
    void CompareNow() override;
    // The desktop client shows only what the engine's messages say; nothing is asked.
    bool ConfirmSynced(std::string&) override { return true; }

  private:
    void Post(plat::UINT message, plat::WPARAM wParam = 0, plat::LPARAM lParam = 0);

    std::string m_program;
    pid_t m_pid = -1;
    std::thread m_thread;
    std::atomic<plat::DWORD> m_dwThreadId{0};
};

}  // namespace converge
