#pragma once
// Named mutexes for single instances: a lock file in the runtime folder held with flock. The
// kernel releases it when its holder closes it or dies in any way, so a crashed program never
// keeps the next one from starting. Child processes do not inherit it.

#include <memory>
#include <string>

namespace plat {

class NamedMutex {
  public:
    explicit NamedMutex(int fd) : m_fd(fd) {}
    // Releases the mutex.
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

  private:
    int m_fd;
};

// Takes the mutex of that name. When another holder (in another process or in this one) has
// it, returns null with *alreadyExists true, as CreateMutex reports ERROR_ALREADY_EXISTS;
// returns null with *alreadyExists false when the lock file cannot be made.
std::unique_ptr<NamedMutex> CreateNamedMutex(const std::string& name, bool* alreadyExists);

}  // namespace plat
