#pragma once
// Events, semaphores and waits with the semantics of their Windows namesakes.
//
// Named events are process-wide: CreateEvent with a name that already exists in this process
// returns the same object (the creator's reset mode and state win, as on Windows). Time-outs
// are measured on plat::Clock.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ThreadMessage.h"

namespace plat {

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// Something a thread can wait on. Signalled state and its consumption depend on the kind.
class WaitableObject {
  public:
    virtual ~WaitableObject() = default;
    WaitableObject() = default;
    WaitableObject(const WaitableObject&) = delete;
    WaitableObject& operator=(const WaitableObject&) = delete;
};

// Implemented inside the platform layer; callers hold them only through these pointers.
class Event : public WaitableObject {
  protected:
    Event() = default;
};
class Semaphore : public WaitableObject {
  protected:
    Semaphore() = default;
};
using EventPtr = std::shared_ptr<Event>;
using SemaphorePtr = std::shared_ptr<Semaphore>;

// An empty name makes an unnamed event.
EventPtr CreateEvent(bool manualReset, bool initialState, const std::string& name = {});
// The named event of this process, or null when none of that name exists.
EventPtr OpenEvent(const std::string& name);
bool SetEvent(const EventPtr& event);
bool ResetEvent(const EventPtr& event);

SemaphorePtr CreateSemaphore(long initialCount, long maximumCount);
// Adds count; fails (false, count unchanged) when that would pass the maximum.
bool ReleaseSemaphore(const SemaphorePtr& semaphore, long count = 1);

// Waits until the object is signalled (an auto-reset event is reset, a semaphore's count taken)
// or the time-out passes: WAIT_OBJECT_0 or WAIT_TIMEOUT.
DWORD WaitForSingleObject(const std::shared_ptr<WaitableObject>& object, DWORD timeoutMs);

// Wait-any over several objects: WAIT_OBJECT_0 + index of the first signalled one (only that
// one is consumed), or WAIT_TIMEOUT.
DWORD WaitForMultipleObjects(const std::vector<std::shared_ptr<WaitableObject>>& objects,
                             DWORD timeoutMs);

// Waits for the object or for a message in the calling thread's queue (which is created if
// needed): WAIT_OBJECT_0 when the object was signalled (and consumed), WAIT_OBJECT_0 + 1 when a
// message is waiting (it stays queued), or WAIT_TIMEOUT. A null object waits for messages only.
DWORD MsgWaitForObject(const std::shared_ptr<WaitableObject>& object, DWORD timeoutMs);

}  // namespace plat
