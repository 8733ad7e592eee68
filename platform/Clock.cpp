#include "platform/Clock.h"

#include <atomic>
#include <thread>

#include "platform/KernelWait.h"
#include "platform/SyncObjects.h"

namespace plat {

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

// Written under KernelLock so that a waiter that read the clock under it cannot miss a change;
// read without it by everyone else.
std::atomic<bool> g_bManual{false};
std::atomic<std::int64_t> g_manualNowMs{0};
std::atomic<std::int64_t> g_manualWallMs{0};
// Added to the real monotonic time once a manual period has run ahead of it.
std::atomic<std::int64_t> g_realOffsetMs{0};

std::int64_t RealNowMs() {
    return duration_cast<milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
               .count() +
           g_realOffsetMs.load();
}

std::int64_t RealWallMs() {
    return duration_cast<milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

Clock::TimePoint Clock::Now() {
    return TimePoint(Duration(g_bManual.load() ? g_manualNowMs.load() : RealNowMs()));
}

std::time_t Clock::WallNow() {
    if (g_bManual.load()) {
        return static_cast<std::time_t>(g_manualWallMs.load() / 1000);
    }
    return std::time(nullptr);
}

std::tm Clock::LocalNow() {
    const std::time_t now = WallNow();
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

void Clock::SetManual(bool manual) {
    std::unique_lock<std::mutex> lock(detail::KernelLock());
    if (manual == g_bManual.load()) {
        return;
    }
    if (manual) {
        g_manualNowMs = RealNowMs();
        g_manualWallMs = RealWallMs();
    } else if (const std::int64_t ahead = g_manualNowMs.load() - RealNowMs(); ahead > 0) {
        g_realOffsetMs += ahead;
    }
    g_bManual = manual;
    detail::WakeTimedWaiters(lock, false);
}

bool Clock::IsManual() {
    return g_bManual.load();
}

void Clock::Advance(Duration d) {
    std::unique_lock<std::mutex> lock(detail::KernelLock());
    if (!g_bManual.load() || d.count() <= 0) {
        return;
    }
    g_manualNowMs += d.count();
    g_manualWallMs += d.count();
    detail::WakeTimedWaiters(lock, true);
}

void Clock::SetWallTime(std::time_t t) {
    std::unique_lock<std::mutex> lock(detail::KernelLock());
    g_manualWallMs = static_cast<std::int64_t>(t) * 1000;
}

bool Clock::WaitForTimedWaiters(std::size_t count, Duration realTimeout) {
    return detail::WaitForTimedWaiters(count, realTimeout);
}

void Sleep(std::uint32_t ms) {
    if (ms == 0) {
        std::this_thread::yield();
        return;
    }
    std::unique_lock<std::mutex> lock(detail::KernelLock());
    detail::BlockUntil(lock, {}, ms, [] { return false; });
}

}  // namespace plat
