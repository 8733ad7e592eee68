#include "client/EngineLink.h"

#include "common/AfLog.h"
#include "platform/Clock.h"
#include "platform/Window.h"
#include "store/SyncCodes.h"

namespace {
const wchar_t* const kEngineWindow = L"Ostrand";
}

bool IsEngineWindowPresent() {
    return plat::FindWindow(kEngineWindow) != nullptr;
}

bool PostToEngine(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) {
    plat::HWND engine = plat::FindWindow(kEngineWindow);
    return engine != nullptr && plat::PostMessage(engine, message, wParam, lParam);
}

bool WaitForEngineWindow(std::uint32_t maxWaitMs) {
    const auto deadline = plat::Clock::Now() + plat::Clock::Duration(maxWaitMs);
    while (!IsEngineWindowPresent() && plat::Clock::Now() < deadline) {
        plat::Sleep(5);
    }
    return IsEngineWindowPresent();
}

bool StopEngine(std::uint32_t maxWaitMs) {
    plat::HWND engine = plat::FindWindow(kEngineWindow);
    if (engine == nullptr) {
        return true;
    }
    plat::SendMessage(engine, MSG_ENGINE_EXIT, 0, 0);
    const auto deadline = plat::Clock::Now() + plat::Clock::Duration(maxWaitMs);
    while (plat::IsWindow(engine) && plat::Clock::Now() < deadline) {
        plat::Sleep(5);
    }
    bool gone = !plat::IsWindow(engine);
    if (!gone) {
        AfLog(4, "CorvenaDlg", "StopEngine", 0, "the engine window is still there after %u ms",
              maxWaitMs);
    }
    return gone;
}
