#include "client/ClickDebounce.h"

bool CClickDebounce::Click() {
    std::lock_guard<std::mutex> lock(m_mutex);
    plat::Clock::TimePoint now = plat::Clock::Now();
    bool act = !m_last || now - *m_last > std::chrono::milliseconds(1000);
    m_last = now;
    return act;
}
