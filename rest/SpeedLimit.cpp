#include "rest/SpeedLimit.h"

#include <chrono>
#include <cstdint>
#include <mutex>

#include "platform/Clock.h"

namespace {

struct Limits {
    std::mutex mutex;
    bool bUpOn = false;
    int iUpKiB = 0;
    bool bDownOn = false;
    int iDownKiB = 0;
    std::uint64_t iCounter = 0;
    plat::Clock::TimePoint windowStart{};
};

Limits& State() {
    static Limits limits;
    return limits;
}

void Set(bool upload, int kibPerSecond) {
    Limits& s = State();
    std::lock_guard lock(s.mutex);
    bool on = kibPerSecond > 0;
    (upload ? s.bUpOn : s.bDownOn) = on;
    (upload ? s.iUpKiB : s.iDownKiB) = on ? kibPerSecond : 0;
    s.iCounter = 0;
    s.windowStart = on ? plat::Clock::Now() : plat::Clock::TimePoint{};
}

}  // namespace

void CSpeedLimit::SetMaxUploadSpeed(int kibPerSecond) {
    Set(true, kibPerSecond);
}

void CSpeedLimit::SetMaxDownloadSpeed(int kibPerSecond) {
    Set(false, kibPerSecond);
}

void CSpeedLimit::OnPiece(bool upload, std::size_t bytes) {
    Limits& s = State();
    std::unique_lock lock(s.mutex);
    if (!(upload ? s.bUpOn : s.bDownOn)) {
        return;
    }
    std::uint64_t limitBytes = std::uint64_t(upload ? s.iUpKiB : s.iDownKiB) * 1024;
    s.iCounter += bytes;
    if (s.iCounter <= limitBytes) {
        return;
    }
    s.iCounter = 0;
    auto waitUntil = s.windowStart + std::chrono::milliseconds(1000);
    auto now = plat::Clock::Now();
    lock.unlock();
    if (now < waitUntil) {
        plat::Sleep(static_cast<std::uint32_t>((waitUntil - now).count()));
    }
    lock.lock();
    s.windowStart = plat::Clock::Now();
}
