#include "shellext/SendThreads.h"

#include <utility>

CSendThreads& CSendThreads::Instance() {
    // Never destroyed: a file manager may end with a copy running, and destroying a list of
    // running threads would abort it.
    static CSendThreads* instance = new CSendThreads;
    return *instance;
}

void CSendThreads::Start(std::function<bool()> job) {
    JoinEnded();
    std::lock_guard<std::mutex> lock(m_lock);
    m_threads.emplace_back();
    SThread* entry = &m_threads.back();
    entry->thread = std::thread([this, entry, job = std::move(job)] {
        const bool succeeded = job();
        std::lock_guard<std::mutex> guard(m_lock);
        if (!succeeded) {
            ++m_iFailed;
        }
        entry->bDone = true;
    });
}

void CSendThreads::JoinEnded() {
    std::list<SThread> ended;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (auto it = m_threads.begin(); it != m_threads.end();) {
            auto next = std::next(it);
            if (it->bDone) {
                ended.splice(ended.end(), m_threads, it);
            }
            it = next;
        }
    }
    for (SThread& entry : ended) {
        entry.thread.join();
    }
}

int CSendThreads::WaitAll() {
    std::list<SThread> running;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        running.splice(running.end(), m_threads);
    }
    for (SThread& entry : running) {
        entry.thread.join();
    }
    std::lock_guard<std::mutex> lock(m_lock);
    return std::exchange(m_iFailed, 0);
}
