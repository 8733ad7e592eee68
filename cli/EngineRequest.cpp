#include "cli/EngineRequest.h"

#include <unistd.h>

#include <algorithm>

#include "client/EngineLink.h"
#include "platform/Clock.h"
#include "platform/SyncObjects.h"
#include "store/SyncCodes.h"

CEngineRequest::CEngineRequest() {
    plat::EnsureMessageQueue();
    m_dwThread = plat::GetCurrentThreadId();
}

bool CEngineRequest::AskState(TEngineState& state) {
    if (!PostToEngine(MSG_GET_STATE, m_dwThread, 0)) {
        return false;
    }
    plat::MSG msg;
    if (!Await(MSG_STATE, true, 0, kStateWaitMs, msg)) {
        return false;
    }
    state.status = static_cast<int>(msg.wParam & 0xFF);
    state.flags = static_cast<unsigned>((msg.wParam >> 8) & 0xFF);
    state.held = static_cast<unsigned>(msg.lParam);
    return true;
}

ESyncWait CEngineRequest::SyncNow(bool wait, std::uint32_t timeoutMs, int& result) {
    // Unique among the requests of this machine: no earlier answer is taken for this one.
    const auto id = static_cast<plat::WPARAM>(::getpid()) << 20 ^
                    static_cast<plat::WPARAM>(plat::Clock::Now().time_since_epoch().count());
    if (!PostToEngine(MSG_SYNC_NOW, wait ? m_dwThread : 0, static_cast<plat::LPARAM>(id))) {
        return SYNC_WAIT_NO_ENGINE;
    }
    result = SYNC_DONE_OK;
    if (!wait) {
        return SYNC_WAIT_DONE;
    }
    plat::MSG msg;
    if (Await(MSG_SYNC_DONE, false, id, timeoutMs, msg)) {
        result = static_cast<int>(msg.lParam);
        return SYNC_WAIT_DONE;
    }
    return IsEngineWindowPresent() ? SYNC_WAIT_TIMEOUT : SYNC_WAIT_NO_ENGINE;
}

bool CEngineRequest::Await(plat::UINT message, bool anyWParam, plat::WPARAM wParam,
                           std::uint32_t timeoutMs, plat::MSG& msg) {
    const auto start = plat::Clock::Now();
    for (;;) {
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(plat::Clock::Now() - start)
                .count();
        if (timeoutMs != 0 && waited >= timeoutMs) {
            return false;
        }
        std::uint32_t slice = kEngineLookMs;
        if (timeoutMs != 0) {
            slice = std::min<std::uint32_t>(slice, timeoutMs - static_cast<std::uint32_t>(waited));
        }
        if (plat::MsgWaitForObject(nullptr, slice) == plat::WAIT_OBJECT_0 + 1) {
            while (plat::PeekMessage(&msg, true)) {
                if (msg.message == message && (anyWParam || msg.wParam == wParam)) {
                    return true;
                }
            }
        } else if (!IsEngineWindowPresent()) {
            return false;
        }
    }
}
