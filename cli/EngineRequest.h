#pragma once
// The requests of a command that runs once and ends (status, sync, pause...) to the running
// engine: they go to the engine window "Ostrand" with this thread's id, and the answer comes
// back to this thread's queue, which the constructor makes. An engine that ends or is started
// again meanwhile is noticed by looking for its window.
//
// Threads: the thread that constructed it, only.

#include <cstdint>

#include "platform/ThreadMessage.h"

struct TEngineState {
    int status = 0;
    unsigned flags = 0;
    unsigned held = 0;
};

enum ESyncWait {
    SYNC_WAIT_DONE,       // the comparison and its tasks are done (result in the answer)
    SYNC_WAIT_TIMEOUT,    // the time passed first
    SYNC_WAIT_NO_ENGINE,  // no engine runs, or it ended before answering
};

class CEngineRequest {
  public:
    // How long a state request waits for its answer.
    static constexpr std::uint32_t kStateWaitMs = 5000;
    // How often the engine's window is looked for while an answer is awaited.
    static constexpr std::uint32_t kEngineLookMs = 500;

    CEngineRequest();

    // MSG_GET_STATE: false when no engine runs or it did not answer in kStateWaitMs.
    bool AskState(TEngineState& state);
    // MSG_SYNC_NOW; with wait, waits up to timeoutMs (0: no limit) for its MSG_SYNC_DONE,
    // whose ESyncDoneResult goes to result.
    ESyncWait SyncNow(bool wait, std::uint32_t timeoutMs, int& result);

  private:
    // Takes messages until one of that id (and, unless any, that wParam) arrives: true with
    // it in msg; false when the time passed or the engine window went.
    bool Await(plat::UINT message, bool anyWParam, plat::WPARAM wParam, std::uint32_t timeoutMs,
               plat::MSG& msg);

    plat::DWORD m_dwThread;
};
