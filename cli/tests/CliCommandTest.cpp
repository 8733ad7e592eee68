// The commands that need no running engine, run as the real program: login against the
// reference service, the sync folder, the command line's errors and help, what the commands
// that talk to an engine answer without one, and logout.

#include <sys/socket.h>

#include "cli/tests/CliRig.h"
#include "store/tablestore/DbBase.h"
#include "store/tablestore/UserInfo.h"

namespace cli_test {
namespace {

UserInfo StoredUser() {
    CUserInfo users;
    UserInfo user;
    if (users.ConnectDB() == 0) {
        users.GetUserInfo(user);
    }
    users.Disconnect();
    return user;
}

// A loopback port nobody listens on.
std::string ClosedAddress() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);
    ::close(fd);
    return "127.0.0.1:" + std::to_string(port);
}

class CliCommandTest : public ::testing::Test {
  protected:
    CliHome home;
};

TEST_F(CliCommandTest, LoginStoresTheRecordsOrSaysWhyNot) {
    struct Row {
        const char* why;
        Json::Value account;  // what the service's account is set to first
        bool fromFile;
        std::string password;
        bool closedPort;
        int code;
        std::string says;
    };
    const Row rows[] = {
        {"wrong password", Json::objectValue, false, "nope\n", false, 1, "wrong account name"},
        {"disabled account", JsonObject({{"disabled", true}}), false, "secret\n", false, 1,
         "disabled"},
        {"expired account", JsonObject({{"disabled", false}, {"expired", true}}), false, "secret\n",
         false, 1, "expired"},
        {"unreachable service", JsonObject({{"expired", false}}), false, "secret\n", true, 1,
         "cannot be reached"},
        {"empty password", Json::objectValue, false, "\n", false, 1, "empty"},
        {"right password from a file", Json::objectValue, true, "secret\r\n", false, 0,
         "logged in as"},
        {"right password on standard input", Json::objectValue, false, "secret\n", false, 0,
         "logged in as"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        Json::Value account = row.account;
        account["user"] = home.account;
        Service().Control("/admin/account", account);
        std::vector<std::string> args{"login", "--server",
                                      row.closedPort ? ClosedAddress() : Service().Address(),
                                      "--user", home.account};
        std::string input = row.password;
        if (row.fromFile) {
            const auto file = home.work / "password";
            testing_support::WriteWholeFile(file, row.password);
            args.insert(args.end(), {"--password-file", file.string()});
            input.clear();
        }
        const TCliResult result = home.Cli(args, input);
        EXPECT_EQ(result.code, row.code) << result.err;
        EXPECT_NE((result.out + result.err).find(row.says), std::string::npos)
            << result.out << result.err;
        if (row.code != 0) {
            EXPECT_EQ(Lines(result.err).size(), 1u) << result.err;
            EXPECT_EQ(CliHome::ConfigValue(L"user"), "") << "no account is remembered";
            EXPECT_EQ(CliHome::ConfigValue(L"server"), "") << "the server before is kept";
            continue;
        }
        EXPECT_EQ(CliHome::ConfigValue(L"user"), home.account);
        EXPECT_EQ(CliHome::ConfigValue(L"server"), Service().Address());
        CDbBase::SetAccount(home.account);
        const UserInfo user = StoredUser();
        EXPECT_EQ(user.strAccount, home.account);
        EXPECT_EQ(user.strPassword, testing_support::kServicePasswordBase64);
        EXPECT_FALSE(user.strToken.empty());
        EXPECT_FALSE(user.strWebToken.empty());
        EXPECT_EQ(StoredConfig("NetState"), L"1");
        EXPECT_EQ(StoredConfig("Stop"), L"0");
    }
}

TEST_F(CliCommandTest, FolderIsCreatedStoredOrRefused) {
    ASSERT_EQ(home.Login().code, 0);
    CDbBase::SetAccount(home.account);
    testing_support::WriteWholeFile(home.work / "a-file", "x");
    struct Row {
        const char* why;
        std::string path;
        std::filesystem::path stored;  // empty: refused
    };
    const Row rows[] = {
        {"the root folder", "/", {}},
        {"the program's config folder", (home.home.path() / "config").string(), {}},
        {"inside the program's data folder", (home.home.path() / "data" / "x").string(), {}},
        {"a file", (home.work / "a-file").string(), {}},
        {"a new nested folder", (home.home.path() / "new" / "deep/").string(),
         home.home.path() / "new" / "deep"},
        {"an existing folder", home.work.string(), home.work},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const std::wstring before = StoredConfig("SyncDir");
        const TCliResult result = home.Cli({"folder", row.path});
        if (row.stored.empty()) {
            EXPECT_NE(result.code, 0);
            EXPECT_EQ(Lines(result.err).size(), 1u) << result.err;
            EXPECT_EQ(StoredConfig("SyncDir"), before);
            EXPECT_FALSE(std::filesystem::exists(home.home.path() / "data" / "x"));
            continue;
        }
        EXPECT_EQ(result.code, 0) << result.err;
        EXPECT_TRUE(std::filesystem::is_directory(row.stored));
        EXPECT_EQ(StoredConfig("SyncDir"), StringToWstring(row.stored.string()));
        EXPECT_EQ(CliHome::ConfigValue(L"syncdir"), row.stored.string());
    }
}

TEST_F(CliCommandTest, ARelativeFolderIsTakenFromTheCurrentFolder) {
    ASSERT_EQ(home.Login().code, 0);
    CDbBase::SetAccount(home.account);
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(home.work);
    const TCliResult result = home.Cli({"folder", "rel/dir"});
    std::filesystem::current_path(cwd);
    EXPECT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(StoredConfig("SyncDir"), StringToWstring((home.work / "rel" / "dir").string()));
}

TEST_F(CliCommandTest, CommandLineErrorsGiveOneLineAndHelpDescribesEachCommand) {
    struct Row {
        const char* why;
        std::vector<std::string> args;
        int code;
    };
    const Row rows[] = {
        {"no command", {}, 64},
        {"an unknown command", {"frobnicate"}, 64},
        {"an unknown option", {"status", "--verbose"}, 64},
        {"a value missing", {"login", "--server"}, 64},
        {"an argument too many", {"status", "now"}, 64},
        {"folder without its path", {"folder"}, 64},
        {"login without the account", {"login", "--server", "127.0.0.1"}, 64},
        {"a limit that is not a number", {"limit", "--up", "fast"}, 64},
        {"a limit over the range", {"limit", "--down", "1048577"}, 64},
        {"limit without a direction", {"limit"}, 64},
        {"a time-out that is not a number", {"sync", "--wait", "--timeout", "-1"}, 64},
        {"a flag given a value", {"run", "--quiet=yes"}, 64},
        {"a command that needs the account", {"queue"}, 1},
        {"folder without an account", {"folder", "/tmp/x"}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const TCliResult result = home.Cli(row.args);
        EXPECT_EQ(result.code, row.code);
        if (row.args.empty()) {
            EXPECT_NE(result.out.find("usage:"), std::string::npos);
            continue;
        }
        ASSERT_EQ(Lines(result.err).size(), 1u) << result.err;
        EXPECT_EQ(result.err.rfind("corvena-cli: ", 0), 0u) << result.err;
    }
    const TCliResult overview = home.Cli({"--help"});
    EXPECT_EQ(overview.code, 0);
    for (const char* name : {"login", "folder", "run", "status", "sync", "pause", "resume", "limit",
                             "confirm-deletions", "queue", "completed", "failed", "logout"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(overview.out.find(std::string("  ") + name), std::string::npos);
        const TCliResult help = home.Cli({name, "--help"});
        EXPECT_EQ(help.code, 0);
        EXPECT_EQ(help.out.rfind(std::string("usage: corvena-cli ") + name, 0), 0u) << help.out;
    }
}

TEST_F(CliCommandTest, WithoutAnEngineTheEngineCommandsSaySo) {
    ASSERT_EQ(home.Prepare(), "");
    struct Row {
        const char* why;
        std::vector<std::string> args;
        int code;
        std::string out;
    };
    const Row rows[] = {
        {"status", {"status"}, 3, "stopped (0 queued, 0 failed)\n"},
        {"sync", {"sync"}, 2, ""},
        {"sync --wait", {"sync", "--wait", "--timeout", "5"}, 2, ""},
        {"pause", {"pause"}, 1, ""},
        {"resume", {"resume"}, 1, ""},
        {"limit", {"limit", "--up", "10", "--down", "10"}, 1, ""},
        {"confirm-deletions", {"confirm-deletions"}, 1, ""},
        {"the lists are read from the store", {"queue"}, 0, ""},
        {"completed", {"completed"}, 0, ""},
        {"failed", {"failed"}, 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const TCliResult result = home.Cli(row.args);
        EXPECT_EQ(result.code, row.code) << result.err;
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(Lines(result.err).size(), row.code == 0 ? 0u : 1u) << result.err;
    }
}

TEST_F(CliCommandTest, LogoutForgetsTheAccountAndLeavesTheFiles) {
    ASSERT_EQ(home.Prepare(), "");
    home.WriteLocal("kept.txt", "mine");
    const auto tables = home.home.path() / "data" / "user" / home.account;
    ASSERT_TRUE(std::filesystem::exists(tables / "User.db"));
    const TCliResult result = home.Cli({"logout"});
    EXPECT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(CliHome::ConfigValue(L"user"), "");
    for (const char* file : {"syncFile.db", "Sync.db", "User.db"}) {
        EXPECT_FALSE(std::filesystem::exists(tables / file)) << file;
    }
    EXPECT_EQ(testing_support::ReadWholeFile(home.Local("kept.txt")), "mine");
    EXPECT_NE(home.Cli({"run"}).err.find("not logged in"), std::string::npos);
    EXPECT_EQ(home.Cli({"logout"}).code, 0) << "a second logout";
}

}  // namespace
}  // namespace cli_test
