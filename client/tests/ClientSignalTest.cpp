// The client program itself, ended by a signal (Ctrl-C in the terminal that started it, a
// session's logout, systemd): it must take the same close sequence as "退出", so that the engine
// it started ends with it instead of running on without a front end. The real corvena and
// tandrix programs run on an X display of their own with a tray host, against the reference
// service. The client's watchdog finds the engine by its program name, so these cases run alone
// (RUN_SERIAL); the test itself tells its engine from others by its CORVENA_HOME.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "client/tests/ClientRig.h"
#include "client/tests/XDisplay.h"
#include "common/GlobalSetting.h"
#include "platform/ProcessList.h"
#include "store/tablestore/DbBase.h"
#include "testing/RefServiceProcess.h"
#include "testing/TempHome.h"
#include "testing/WaitUntil.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::CRefServiceProcess;
using testing_support::CXDisplay;
using testing_support::WaitUntil;

// The engines started under this CORVENA_HOME: engines of other programs on the machine
// are not this test's to judge or kill.
std::vector<int> EnginesOf(const fs::path& home) {
    const std::string mark = "CORVENA_HOME=" + home.string();
    std::vector<int> ours;
    for (int pid : plat::FindProcesses("tandrix")) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/environ");
        const std::string env(std::istreambuf_iterator<char>(in), {});
        if (env.find(mark + '\0') != std::string::npos) {
            ours.push_back(pid);
        }
    }
    return ours;
}

struct SignalCase {
    int signal;
    const char* why;
};

class ClientSignalTest : public ::testing::TestWithParam<SignalCase> {
  protected:
    ClientSignalTest()
        : display_(800, 600),
          service_(REFSERVICE_PATH, home_.path() / "service", "alice", "secret") {
        display_.StartTrayHost();
        display_.UseForThisProcess(home_.path());
        const std::string address = service_.Address();
        CGlobalSetting().SetValue(L"main", L"server", std::wstring(address.begin(), address.end()),
                                  L"config.ini");
        CDbBase::SetAccount("alice");
        fs::create_directories(syncDir_);
        testing_support::RememberAccount(syncDir_);
    }
    ~ClientSignalTest() override {
        if (client_ > 0) {
            kill(client_, SIGKILL);
            waitpid(client_, nullptr, 0);
        }
        for (int pid : EnginesOf(home_.path())) {
            kill(pid, SIGKILL);
        }
        unsetenv("DISPLAY");
        unsetenv("XDG_RUNTIME_DIR");
    }

    void StartClient() {
        std::string program = CORVENA_PATH;
        std::vector<char*> argv = {program.data(), nullptr};
        ASSERT_EQ(posix_spawn(&client_, program.c_str(), nullptr, nullptr, argv.data(), environ),
                  0);
    }

    // The client's exit status once it has ended within the wait, -1 otherwise.
    int WaitForClient() {
        int status = -1;
        const bool ended =
            WaitUntil([&] { return waitpid(client_, &status, WNOHANG) == client_; }, 30s);
        if (!ended) {
            return -1;
        }
        client_ = -1;
        return status;
    }

    testing_support::TempHome home_;
    CXDisplay display_;
    CRefServiceProcess service_;
    fs::path syncDir_ = home_.path() / "Corvena";
    pid_t client_ = -1;
};

TEST_P(ClientSignalTest, TheEngineEndsWithTheClient) {
    SCOPED_TRACE(GetParam().why);
    StartClient();
    ASSERT_TRUE(WaitUntil([this] { return !EnginesOf(home_.path()).empty(); }, 30s))
        << "the client started no engine";
    kill(client_, GetParam().signal);
    const int status = WaitForClient();
    ASSERT_TRUE(WIFEXITED(status)) << "the client did not end by itself, status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(WaitUntil([this] { return EnginesOf(home_.path()).empty(); }, 10s))
        << "the engine runs on without its front end";
}

INSTANTIATE_TEST_SUITE_P(Signals, ClientSignalTest,
                         ::testing::Values(SignalCase{SIGINT, "Ctrl-C in the terminal"},
                                           SignalCase{SIGTERM, "the session or systemd ends it"}),
                         [](const auto& info) {
                             return std::string(info.param.signal == SIGINT ? "Sigint" : "Sigterm");
                         });

}  // namespace
