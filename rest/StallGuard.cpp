#include "rest/StallGuard.h"

void CStallGuard::Start() {
    m_lastMove = plat::Clock::Now();
    m_moved = 0;
    m_bFired = false;
}

bool CStallGuard::Expired(curl_off_t moved, bool held) {
    const plat::Clock::TimePoint now = plat::Clock::Now();
    if (held || moved != m_moved) {
        m_moved = moved;
        m_lastMove = now;
        return false;
    }
    m_bFired = now - m_lastMove >= STALL_LIMIT;
    return m_bFired;
}
