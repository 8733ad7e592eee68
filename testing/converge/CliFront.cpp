#include "testing/converge/CliFront.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/Window.h"
#include "testing/ProcessTable.h"
#include "testing/WaitUntil.h"

extern char** environ;

namespace converge {

using namespace std::chrono_literals;

namespace {

// The run waits this long for its engine to end after a SIGTERM, and a little more is given.
constexpr auto kRunEnds = 40s;
// A one-shot command asks the engine and waits 5 s at most for its answer.
constexpr auto kCommandEnds = 15s;
// A sync --wait gives up after this; the quiet point asks again while it waits.
constexpr const char* kSyncTimeoutS = "110";
// Once everything agrees, the one sync --wait that confirms it finds nothing to do.
constexpr const char* kConfirmTimeoutS = "60";

bool Reaped(pid_t pid, std::chrono::milliseconds timeout) {
    int status = 0;
    return testing_support::WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; },
                                      timeout);
}

void KillAndReap(pid_t pid) {
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

}  // namespace

CCliFront::CCliFront(std::string cli, std::filesystem::path log)
    : m_cli(std::move(cli)), m_log(std::move(log)) {
    // The engine of a killed run becomes this process's child, to be reaped here.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
}

CCliFront::~CCliFront() {
    if (m_run > 0) {
        Kill();
    }
    KillAndReap(m_sync);
}

pid_t CCliFront::Spawn(const std::vector<std::string>& args,
                       const std::filesystem::path& output) const {
    std::vector<std::string> texts = {m_cli};
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, m_cli.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void CCliFront::RunCommand(const std::vector<std::string>& args) const {
    const pid_t pid = Spawn(args, m_log);
    if (pid > 0 && !Reaped(pid, kCommandEnds)) {
        KillAndReap(pid);
    }
}

pid_t CCliFront::EngineOf(pid_t run) const {
    const std::vector<pid_t> children = testing_support::ChildrenOf(run);
    return children.empty() ? -1 : children.front();
}

bool CCliFront::Start() {
    m_run = Spawn({"run", "--quiet"}, m_log);
    if (m_run <= 0) {
        return false;
    }
    const bool started = testing_support::WaitUntil(
        [this] {
            m_engine = EngineOf(m_run);
            return (m_engine > 0 && plat::FindWindow(L"Ostrand") != nullptr) ||
                   !testing_support::ProcessRuns(m_run);
        },
        30s);
    return started && Running();
}

void CCliFront::Kill() {
    if (m_run <= 0) {
        return;
    }
    const pid_t engine = EngineOf(m_run);
    KillAndReap(m_run);
    m_run = -1;
    // Orphaned by the run, it is this process's child now.
    KillAndReap(engine);
    m_engine = -1;
}

void CCliFront::End() {
    ReapSync();
    KillAndReap(m_sync);
    m_sync = -1;
    if (m_run <= 0) {
        return;
    }
    ::kill(m_run, SIGTERM);
    if (Reaped(m_run, kRunEnds)) {
        m_run = -1;
        m_engine = -1;
    } else {
        Kill();
    }
}

bool CCliFront::Running() {
    int status = 0;
    if (m_run > 0 && ::waitpid(m_run, &status, WNOHANG) == m_run) {
        m_run = -1;
    }
    return m_run > 0 && testing_support::ProcessRuns(m_engine) && EngineOf(m_run) == m_engine;
}

void CCliFront::Pause() {
    RunCommand({"pause"});
}

void CCliFront::Resume() {
    RunCommand({"resume"});
}

void CCliFront::ReapSync() {
    int status = 0;
    if (m_sync > 0 && ::waitpid(m_sync, &status, WNOHANG) == m_sync) {
        m_sync = -1;
    }
}

void CCliFront::CompareNow() {
    RunCommand({"confirm-deletions"});
    ReapSync();
    if (m_sync <= 0) {
        m_sync = Spawn({"sync", "--wait", "--timeout", kSyncTimeoutS}, m_log);
    }
}

bool CCliFront::ConfirmSynced(std::string& said) {
    KillAndReap(m_sync);
    m_sync = -1;
    const std::filesystem::path output = m_log.string() + ".sync";
    const pid_t pid = Spawn({"sync", "--wait", "--timeout", kConfirmTimeoutS}, output);
    int status = -1;
    if (pid > 0) {
        ::waitpid(pid, &status, 0);
    }
    std::ifstream in(output);
    std::stringstream text;
    text << in.rdbuf();
    said = text.str();
    std::ofstream(m_log, std::ios::app) << said;
    std::filesystem::remove(output);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && said == "synced\n";
}

}  // namespace converge
