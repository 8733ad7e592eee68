#include "platform/NamedMutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/UnixSocket.h"

namespace plat {

NamedMutex::~NamedMutex() {
    ::close(m_fd);
}

std::unique_ptr<NamedMutex> CreateNamedMutex(const std::string& name, bool* alreadyExists) {
    *alreadyExists = false;
    const std::filesystem::path path = detail::NamedObjectPath("mutex", name);
    if (path.empty()) {
        return nullptr;
    }
    // Each open is its own lock holder, so a second CreateNamedMutex in this process conflicts
    // with the first, as a second instance would.
    detail::UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.Valid()) {
        return nullptr;
    }
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        *alreadyExists = errno == EWOULDBLOCK;
        return nullptr;
    }
    return std::make_unique<NamedMutex>(fd.Release());
}

}  // namespace plat
