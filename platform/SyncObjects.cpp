#include "platform/SyncObjects.h"

#include <unordered_map>

#include "platform/KernelWait.h"
#include "platform/MessageQueue.h"

namespace plat {

namespace {

class EventImpl : public Event, public detail::Signalable {
  public:
    EventImpl(bool manualReset, bool initialState)
        : m_bManualReset(manualReset), m_bSignaled(initialState) {}

    bool IsSignaled() const override { return m_bSignaled; }
    void Consume() override {
        if (!m_bManualReset) {
            m_bSignaled = false;
        }
    }
    void Set() {
        m_bSignaled = true;
        NotifyWaiters();
    }
    void Reset() { m_bSignaled = false; }

  private:
    const bool m_bManualReset;
    bool m_bSignaled;
};

class SemaphoreImpl : public Semaphore, public detail::Signalable {
  public:
    SemaphoreImpl(long initialCount, long maximumCount)
        : m_lCount(initialCount), m_lMaximum(maximumCount) {}

    bool IsSignaled() const override { return m_lCount > 0; }
    void Consume() override { --m_lCount; }
    bool Release(long count) {
        if (count <= 0 || count > m_lMaximum - m_lCount) {
            return false;
        }
        m_lCount += count;
        NotifyWaiters();
        return true;
    }

  private:
    long m_lCount;
    const long m_lMaximum;
};

// Named events of the process. An entry lives as long as someone holds the event. Never
// destroyed: events may still be looked up while the process ends.
std::unordered_map<std::string, std::weak_ptr<EventImpl>>& NamedEvents() {
    static auto* events = new std::unordered_map<std::string, std::weak_ptr<EventImpl>>;
    return *events;
}

bool WithEvent(const EventPtr& event, void (EventImpl::*change)()) {
    auto* impl = static_cast<EventImpl*>(event.get());
    if (impl == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> lock(detail::KernelLock());
    (impl->*change)();
    return true;
}

detail::Signalable* AsSignalable(const std::shared_ptr<WaitableObject>& object) {
    return dynamic_cast<detail::Signalable*>(object.get());
}

}  // namespace

EventPtr CreateEvent(bool manualReset, bool initialState, const std::string& name) {
    if (name.empty()) {
        return std::make_shared<EventImpl>(manualReset, initialState);
    }
    std::lock_guard<std::mutex> lock(detail::KernelLock());
    std::weak_ptr<EventImpl>& entry = NamedEvents()[name];
    std::shared_ptr<EventImpl> event = entry.lock();
    if (!event) {
        event = std::make_shared<EventImpl>(manualReset, initialState);
        entry = event;
    }
    return event;
}

EventPtr OpenEvent(const std::string& name) {
    std::lock_guard<std::mutex> lock(detail::KernelLock());
    auto it = NamedEvents().find(name);
    return it == NamedEvents().end() ? nullptr : it->second.lock();
}

bool SetEvent(const EventPtr& event) {
    return WithEvent(event, &EventImpl::Set);
}

bool ResetEvent(const EventPtr& event) {
    return WithEvent(event, &EventImpl::Reset);
}

SemaphorePtr CreateSemaphore(long initialCount, long maximumCount) {
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
        return nullptr;
    }
    return std::make_shared<SemaphoreImpl>(initialCount, maximumCount);
}

bool ReleaseSemaphore(const SemaphorePtr& semaphore, long count) {
    auto* impl = static_cast<SemaphoreImpl*>(semaphore.get());
    if (impl == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> lock(detail::KernelLock());
    return impl->Release(count);
}

DWORD WaitForSingleObject(const std::shared_ptr<WaitableObject>& object, DWORD timeoutMs) {
    return WaitForMultipleObjects({object}, timeoutMs);
}

DWORD WaitForMultipleObjects(const std::vector<std::shared_ptr<WaitableObject>>& objects,
                             DWORD timeoutMs) {
    std::vector<detail::Signalable*> states;
    for (const auto& object : objects) {
        detail::Signalable* state = AsSignalable(object);
        if (state == nullptr) {
            return WAIT_FAILED;
        }
        states.push_back(state);
    }
    if (states.empty()) {
        return WAIT_FAILED;
    }
    std::unique_lock<std::mutex> lock(detail::KernelLock());
    DWORD index = 0;
    const bool bSignaled = detail::BlockUntil(lock, states, timeoutMs, [&states, &index] {
        for (index = 0; index < states.size(); ++index) {
            if (states[index]->IsSignaled()) {
                return true;
            }
        }
        return false;
    });
    if (!bSignaled) {
        return WAIT_TIMEOUT;
    }
    states[index]->Consume();
    return WAIT_OBJECT_0 + index;
}

DWORD MsgWaitForObject(const std::shared_ptr<WaitableObject>& object, DWORD timeoutMs) {
    detail::Signalable* state = nullptr;
    if (object) {
        state = AsSignalable(object);
        if (state == nullptr) {
            return WAIT_FAILED;
        }
    }
    detail::ThreadQueue& queue = detail::CurrentQueue();
    std::vector<detail::Signalable*> states{&queue};
    if (state != nullptr) {
        states.push_back(state);
    }
    std::unique_lock<std::mutex> lock(detail::KernelLock());
    bool bObject = false;
    const bool bSignaled = detail::BlockUntil(lock, states, timeoutMs, [state, &queue, &bObject] {
        bObject = state != nullptr && state->IsSignaled();
        return bObject || queue.IsSignaled();
    });
    if (!bSignaled) {
        return WAIT_TIMEOUT;
    }
    if (bObject) {
        state->Consume();
        return WAIT_OBJECT_0;
    }
    return WAIT_OBJECT_0 + 1;
}

}  // namespace plat
