#pragma once
// Lowers the process's descriptor limit so that only a given number of new descriptors can be
// opened, and restores it when the object goes. A test running as root cannot keep a folder
// closed with permissions; a folder that cannot be opened for want of a descriptor fails the
// same way. Meant for single-threaded tests: any other thread's opening counts too.

#include <sys/resource.h>
#include <unistd.h>

#include <vector>

namespace testing_support {

class CDescriptorLimit {
  public:
    explicit CDescriptorLimit(int freeDescriptors) {
        ::getrlimit(RLIMIT_NOFILE, &m_saved);
        // The limit is a bound on descriptor numbers: set it at the first number past the
        // lowest free ones.
        std::vector<int> taken;
        for (int i = 0; i <= freeDescriptors; ++i) {
            taken.push_back(::dup(0));
        }
        for (int fd : taken) {
            ::close(fd);
        }
        rlimit tight = m_saved;
        tight.rlim_cur = static_cast<rlim_t>(taken.back());
        m_bSet = ::setrlimit(RLIMIT_NOFILE, &tight) == 0;
    }
    ~CDescriptorLimit() { Restore(); }
    CDescriptorLimit(const CDescriptorLimit&) = delete;
    CDescriptorLimit& operator=(const CDescriptorLimit&) = delete;

    bool IsSet() const { return m_bSet; }
    void Restore() {
        if (m_bSet) {
            ::setrlimit(RLIMIT_NOFILE, &m_saved);
            m_bSet = false;
        }
    }

  private:
    rlimit m_saved{};
    bool m_bSet = false;
};

}  // namespace testing_support
