#pragma once
// What the front end's tests share: one reference service for the test program, a fresh
// CORVENA_HOME and a fresh account per test, and the real corvena-cli program run as a child
// (its standard input given, its output and exit code kept), either once per command or as
// `run` in the background, whose engine is the real tandrix beside it.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/GlobalSetting.h"
#include "common/Utility.h"
#include "store/tablestore/SystemInfo.h"
#include "testing/FileText.h"
#include "testing/ProcessTable.h"
#include "testing/RefServiceProcess.h"
#include "testing/ServiceEnvironment.h"
#include "testing/TempHome.h"
#include "testing/TrashHome.h"
#include "testing/WaitUntil.h"

extern char** environ;

namespace cli_test {

using namespace std::chrono_literals;
using testing_support::CRefServiceProcess;
using testing_support::JsonObject;
using testing_support::WaitUntil;

inline auto* const serviceEnvironment =
    ::testing::AddGlobalTestEnvironment(new testing_support::ServiceEnvironment);
inline auto* const trashHome = ::testing::AddGlobalTestEnvironment(new testing_support::TrashHome);

inline CRefServiceProcess& Service() {
    return *testing_support::ServiceEnvironment::Process();
}

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// One corvena-cli process with its output in files of the test's folder; killed when the
// object goes while it still runs.
class CCliProcess {
  public:
    CCliProcess(const std::filesystem::path& folder, std::vector<std::string> args,
                const std::string& input = {}) {
        static std::atomic<int> runs{0};
        const std::string stem = (folder / ("cli" + std::to_string(++runs))).string();
        m_out = stem + ".out";
        m_err = stem + ".err";
        const std::string in = stem + ".in";
        testing_support::WriteWholeFile(in, input);
        args.insert(args.begin(), CORVENA_CLI_PATH);
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, in.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_out.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_err.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawn(&m_pid, CORVENA_CLI_PATH, &actions, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
            ADD_FAILURE() << "cannot start " << CORVENA_CLI_PATH;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CCliProcess() {
        if (m_pid > 0) {
            Signal(SIGKILL);
            Wait(10s);
        }
    }
    CCliProcess(const CCliProcess&) = delete;
    CCliProcess& operator=(const CCliProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    void Signal(int signal) const { ::kill(m_pid, signal); }
    // The exit code once the process ended within the time, -1 otherwise.
    int Wait(std::chrono::milliseconds timeout) {
        int status = 0;
        if (m_pid <= 0 ||
            !WaitUntil([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, timeout)) {
            return -1;
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string Out() const { return ReadText(m_out); }
    std::string Err() const { return ReadText(m_err); }

    // The children of the process (the engine it started).
    std::vector<pid_t> Children() const { return testing_support::ChildrenOf(m_pid); }

  private:
    pid_t m_pid = -1;
    std::string m_out;
    std::string m_err;
};

struct TCliResult {
    int code = -1;
    std::string out;
    std::string err;
};

// A fresh home and a fresh account on the service; nothing is stored until the test logs in.
class CliHome {
  public:
    CliHome() {
        static std::atomic<int> accounts{0};
        account = "cli" + std::to_string(getpid()) + "x" + std::to_string(++accounts);
        Service().Control("/admin/account",
                          JsonObject({{"user", account}, {"password", kPassword}}));
        std::filesystem::create_directories(work);
    }

    // One command, awaited.
    TCliResult Cli(std::vector<std::string> args, const std::string& input = {},
                   std::chrono::milliseconds timeout = 120s) const {
        CCliProcess process(work, std::move(args), input);
        TCliResult result;
        result.code = process.Wait(timeout);
        result.out = process.Out();
        result.err = process.Err();
        return result;
    }
    TCliResult Login() const {
        return Cli({"login", "--server", Service().Address(), "--user", account},
                   std::string(kPassword) + "\n");
    }
    // Logged in with the sync directory chosen; empty text when done, else what failed.
    std::string Prepare() const {
        const TCliResult login = Login();
        if (login.code != 0) {
            return "login: " + login.err;
        }
        const TCliResult folder = Cli({"folder", syncDir.string()});
        return folder.code == 0 ? std::string() : "folder: " + folder.err;
    }
    std::unique_ptr<CCliProcess> StartRun(std::vector<std::string> extra = {}) const {
        std::vector<std::string> args{"run"};
        args.insert(args.end(), extra.begin(), extra.end());
        return std::make_unique<CCliProcess>(work, args);
    }
    // status answers from a running engine.
    bool WaitForEngine(std::chrono::milliseconds timeout = 60s) const {
        return WaitUntil([this] { return Cli({"status"}).code == 0; }, timeout);
    }
    // The first word of status.
    std::string State() const {
        const std::string out = Cli({"status"}).out;
        return out.substr(0, out.find(' '));
    }

    std::filesystem::path Local(const std::string& relative) const { return syncDir / relative; }
    void WriteLocal(const std::string& relative, const std::string& content) const {
        std::filesystem::create_directories(Local(relative).parent_path());
        testing_support::WriteWholeFile(Local(relative), content);
    }
    bool OnService(const std::string& path) const {
        for (const Json::Value& entry : Service().Tree(account)) {
            if (entry["path"].asString() == path) {
                return true;
            }
        }
        return false;
    }
    std::string ServiceText(const std::string& path) const {
        return Service().ReadFile(account, path);
    }
    void PutOnService(const std::string& path, const std::string& content) const {
        httplib::Client client("127.0.0.1", Service().Port());
        auto result = client.Put("/admin/fs/file?user=" + account + "&path=" + path, content,
                                 "application/octet-stream");
        ASSERT_TRUE(result && result->status == 200) << "cannot put " << path;
    }
    static std::string ConfigValue(const std::wstring& key) {
        std::wstring value;
        CGlobalSetting().GetValue(L"main", key, value, L"config.ini");
        return WstringToString(value);
    }

    static constexpr const char* kPassword = testing_support::kServicePassword;

    testing_support::TempHome home;
    std::filesystem::path syncDir = home.path() / "sync";
    std::filesystem::path work = home.path() / "work";
    std::string account;
};

// A key of the system table of the account the store is set to (empty when missing).
inline std::wstring StoredConfig(const std::string& key) {
    CSystemInfo config;
    std::wstring value;
    if (config.ConnectDB() == 0) {
        config.GetConfig(key, value);
    }
    config.Disconnect();
    return value;
}

// The lines of a text.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

}  // namespace cli_test
