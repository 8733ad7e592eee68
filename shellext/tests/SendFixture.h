#pragma once
// The shared setting of the shellext tests: a fresh CORVENA_HOME whose config.ini names the
// sync directory <home>/Sync, a folder <home>/outside for the items to send, whole-tree
// snapshots to compare, and a way to run a program and read its exit status and stderr.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/GlobalSetting.h"
#include "testing/FileText.h"
#include "testing/TempHome.h"

extern char** environ;

namespace shellext_test {

namespace fs = std::filesystem;

// Every item under root by its relative path: a file by its content, a folder as "<folder>",
// a link as "-> target", anything else as "<other>". Hidden items are listed too, so a
// temporary copy left behind shows.
inline std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> items;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string name = fs::relative(it->path(), root).string();
        const fs::file_status status = it->symlink_status();
        if (fs::is_symlink(status)) {
            items[name] = "-> " + fs::read_symlink(it->path()).string();
        } else if (fs::is_directory(status)) {
            items[name] = "<folder>";
        } else if (fs::is_regular_file(status)) {
            items[name] = testing_support::ReadWholeFile(it->path());
        } else {
            items[name] = "<other>";
        }
    }
    return items;
}

struct SRun {
    int iExit = -1;
    std::string strErr;
};

// Runs args[0] with args, the test's environment plus extraEnv ("NAME=value"), stderr caught.
inline SRun RunProgram(const std::vector<std::string>& args,
                       const std::vector<std::string>& extraEnv, const fs::path& errFile) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        env.emplace_back(*entry);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    auto pointers = [](std::vector<std::string>& texts) {
        std::vector<char*> list;
        for (std::string& text : texts) {
            list.push_back(text.data());
        }
        list.push_back(nullptr);
        return list;
    };
    std::vector<std::string> argCopy = args;
    std::vector<char*> argv = pointers(argCopy);
    std::vector<char*> envp = pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    SRun run;
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.iExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.strErr = testing_support::ReadWholeFile(errFile);
    return run;
}

class SendFixture : public ::testing::Test {
  protected:
    SendFixture() : m_syncDir(m_home.path() / "Sync"), m_outside(m_home.path() / "outside") {
        fs::create_directories(m_syncDir);
        fs::create_directories(m_outside);
        SetSyncDir(m_syncDir.wstring());
    }

    static void SetSyncDir(const std::wstring& value) {
        ASSERT_EQ(CGlobalSetting().SaveDir(value, L"config.ini"), 0);
    }

    // A file under outside/, with its folders.
    fs::path MakeFile(const std::string& relative, const std::string& content) {
        const fs::path path = m_outside / relative;
        fs::create_directories(path.parent_path());
        testing_support::WriteWholeFile(path, content);
        return path;
    }

    testing_support::TempHome m_home;
    fs::path m_syncDir;
    fs::path m_outside;
};

}  // namespace shellext_test
