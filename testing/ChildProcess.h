#pragma once
// Runs this test program again as a child process that runs one test only: a DISABLED_ test
// that plays the child's part, told what to do through environment variables. The child
// shares the parent's CORVENA_HOME (it inherits the environment), so both see one runtime
// folder. A child still running when the object goes is killed. WithReadyChild adds a
// start-up handshake over thread messages.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ThreadMessage.h"

extern char** environ;

namespace testing_support {

class ChildProcess {
  public:
    // testName "Suite.DISABLED_Name"; extraEnv entries "NAME=value".
    ChildProcess(const std::string& testName, const std::vector<std::string>& extraEnv) {
        const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
        std::vector<std::string> args = {exe, "--gtest_filter=" + testName,
                                         "--gtest_also_run_disabled_tests"};
        std::vector<std::string> env;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            env.emplace_back(*entry);
        }
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> argv = Pointers(args);
        std::vector<char*> envp = Pointers(env);
        if (posix_spawn(&m_pid, exe.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) {
            m_pid = -1;
            ADD_FAILURE() << "cannot start " << exe;
        }
    }
    ~ChildProcess() {
        if (m_pid > 0) {
            Kill(SIGKILL);
            Wait();
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    void Kill(int signal) { ::kill(m_pid, signal); }
    // The wait status of waitpid; -1 when there is no child.
    int Wait() {
        int status = -1;
        if (m_pid > 0 && ::waitpid(m_pid, &status, 0) == m_pid) {
            m_pid = -1;
        }
        return status;
    }
    // Waits and tells whether the child's test passed.
    bool Succeeded() {
        const int status = Wait();
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

  private:
    static std::vector<char*> Pointers(std::vector<std::string>& texts) {
        std::vector<char*> pointers;
        for (std::string& text : texts) {
            pointers.push_back(text.data());
        }
        pointers.push_back(nullptr);
        return pointers;
    }

    pid_t m_pid = -1;
};

// Posted by the child to the parent's thread (TEST_PARENT) once it is ready.
constexpr plat::UINT kChildReady = plat::WM_USER + 0x100;

inline plat::DWORD ParentThread() {
    return static_cast<plat::DWORD>(std::stoul(getenv("TEST_PARENT")));
}

// The child's side of the handshake.
inline bool TellParentReady(plat::WPARAM wParam = 0) {
    return plat::PostThreadMessage(ParentThread(), kChildReady, wParam, 0);
}

// The parent's side: on a fresh thread, whose queue lies in this test's runtime folder, starts
// the child with TEST_PARENT naming that thread, waits for its kChildReady and runs body with
// the child and the wParam it sent.
inline void WithReadyChild(const std::string& testName, std::vector<std::string> extraEnv,
                           const std::function<void(ChildProcess&, plat::WPARAM)>& body) {
    std::thread([&] {
        plat::EnsureMessageQueue();
        extraEnv.push_back("TEST_PARENT=" + std::to_string(plat::GetCurrentThreadId()));
        ChildProcess child(testName, extraEnv);
        plat::MSG msg;
        ASSERT_EQ(plat::GetMessage(&msg), 1);
        ASSERT_EQ(msg.message, kChildReady);
        body(child, msg.wParam);
    }).join();
}

}  // namespace testing_support
