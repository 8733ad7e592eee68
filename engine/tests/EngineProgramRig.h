#pragma once
// The real tandrix program, started as the desktop client starts it (its message thread id as
// the only argument, the environment of the client), against the reference service: one run
// of the program as a child process, and the fixture of the scenarios that drive it as the
// client would, each ending with the three views compared.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "engine/tests/EngineRig.h"
#include "platform/Paths.h"
#include "platform/Window.h"
#include "store/SyncCodes.h"
#include "store/tablestore/SyncFail.h"
#include "testing/LogText.h"

extern char** environ;

namespace engine_test {

using namespace std::chrono_literals;

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer sleeps a second at exit (atexit_sleep_ms) before the process ends.
constexpr auto kSanitizerExitSleep = 1s;
#else
constexpr auto kSanitizerExitSleep = 0s;
#endif

// One run of the engine program; killed when the object goes while it still runs.
class CEngineProcess {
  public:
    explicit CEngineProcess(std::vector<std::string> args) {
        args.insert(args.begin(), TANDRIX_PATH);
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, TANDRIX_PATH, nullptr, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
            ADD_FAILURE() << "cannot start " << TANDRIX_PATH;
        }
    }
    explicit CEngineProcess(plat::DWORD dwClientThread)
        : CEngineProcess(std::vector<std::string>{std::to_string(dwClientThread)}) {}
    ~CEngineProcess() {
        if (m_pid > 0) {
            Kill(SIGKILL);
            Wait(10s);
        }
    }
    CEngineProcess(const CEngineProcess&) = delete;
    CEngineProcess& operator=(const CEngineProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    void Kill(int signal) const { ::kill(m_pid, signal); }
    // The exit code once the process has ended within the time; -1 otherwise.
    int Wait(std::chrono::milliseconds timeout) {
        int status = 0;
        const bool ended = WaitUntil(
            [&] { return m_pid <= 0 || ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, timeout);
        if (!ended || m_pid <= 0) {
            return -1;
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    bool Running() {
        int status = 0;
        return m_pid > 0 && ::waitpid(m_pid, &status, WNOHANG) == 0;
    }

  private:
    pid_t m_pid = -1;
};

// The stored fail list, read through a connection of its own.
inline std::vector<SyncFail> FailEntries() {
    CSyncFail table;
    std::vector<SyncFail> fails;
    if (table.ConnectDB() == 0) {
        table.GetFailArr(fails);
    }
    table.Disconnect();
    return fails;
}

class EngineProgramRig : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(home.prepared, "");
        Service().ClearRequests();
    }

    std::unique_ptr<CEngineProcess> StartEngine() {
        auto engine = std::make_unique<CEngineProcess>(client->ThreadId());
        EXPECT_TRUE(WaitUntil([] { return plat::FindWindow(L"Ostrand") != nullptr; }, 30s));
        return engine;
    }
    static void PostToEngine(plat::UINT message, plat::WPARAM wParam = 0, plat::LPARAM lParam = 0) {
        ASSERT_TRUE(plat::PostMessage(plat::FindWindow(L"Ostrand"), message, wParam, lParam));
    }
    // As the client ends the engine: sends MSG_ENGINE_EXIT and waits for the process.
    static void EndEngine(CEngineProcess& engine) {
        const auto sent = std::chrono::steady_clock::now();
        plat::SendMessage(plat::FindWindow(L"Ostrand"), MSG_ENGINE_EXIT, 0, 0);
        EXPECT_EQ(engine.Wait(5s), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - sent, 2s + kSanitizerExitSleep)
            << "the engine took too long";
    }
    bool Agree(std::chrono::milliseconds timeout = 60s) const {
        return WaitUntil([this] { return home.ViewsAgree(); }, timeout);
    }
    std::string Log() const { return testing_support::LogText(home.home.path()); }

    EngineHome home;
    // Made after the home, so that the engine's process reaches its queue.
    std::unique_ptr<CClientStandIn> client = std::make_unique<CClientStandIn>();
};

}  // namespace engine_test
