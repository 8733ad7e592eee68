#pragma once
// What the tests that start the client's main dialog share: an engine program copied under a
// file name of this test program's own (the watchdog looks engines up by file name, and other
// tests may run engines beside this one), and the state a previous run of the client leaves.

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "client/ClientSession.h"
#include "client/ClientStore.h"
#include "client/LoginLogic.h"
#include "common/GlobalSetting.h"
#include "platform/ProcessList.h"
#include "testing/WaitUntil.h"

namespace testing_support {

// A copy of `program` in `folder` as "tandrix-<pid>"; its processes are killed with the object.
class CEngineCopy {
  public:
    CEngineCopy(const std::filesystem::path& program, const std::filesystem::path& folder)
        : m_path(folder / ("tandrix-" + std::to_string(getpid()))) {
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(program, m_path);
    }
    ~CEngineCopy() { KillAll(); }
    CEngineCopy(const CEngineCopy&) = delete;
    CEngineCopy& operator=(const CEngineCopy&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::vector<int> Running() const { return plat::FindProcesses(m_path.filename().string()); }
    void KillAll() const {
        for (int pid : Running()) {
            kill(pid, SIGKILL);
        }
        WaitUntil([this] { return Running().empty(); }, std::chrono::seconds(10));
    }
    // The one process of the copy once it runs and has its arguments, 0 otherwise: a process
    // is listed under its new name a moment before the kernel has set up its command line,
    // which then reads as empty.
    int One() const {
        const std::vector<int> running = Running();
        return running.size() == 1 && !Arguments(running[0]).empty() ? running[0] : 0;
    }
    bool WaitForOne() const {
        return WaitUntil([this] { return One() != 0; }, std::chrono::seconds(10));
    }
    // The command line of a running process: its arguments after the program.
    static std::vector<std::string> Arguments(int pid) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline");
        std::string text(std::istreambuf_iterator<char>(in), {});
        std::vector<std::string> args;
        size_t start = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\0') {
                args.push_back(text.substr(start, i - start));
                start = i + 1;
            }
        }
        if (!args.empty()) {
            args.erase(args.begin());
        }
        return args;
    }

  private:
    std::filesystem::path m_path;
};

// The state a previous run leaves: the remembered account alice (password "secret"), its
// record and the sync directory.
inline void RememberAccount(const std::filesystem::path& syncDir) {
    CGlobalSetting setting;
    setting.m_wstrUser = L"alice";
    setting.Save(L"config.ini");
    UserInfo user;
    user.strAccount = "alice";
    user.strPassword = Base64Encode("secret");
    WriteUserRecord(user);
    CClientSession::Get().SetUser(user);
    SetSystemConfig("SyncDir", syncDir.wstring());
}

}  // namespace testing_support
