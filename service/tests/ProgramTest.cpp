// The refservice program itself: its command line, the port it prints, its clean end on
// SIGTERM and a restart on the same data.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>

#include "service/tests/ServiceFixture.h"

namespace service_test {
namespace {

// The program run through a shell that prints its own pid and then becomes the program.
class CProgram {
  public:
    explicit CProgram(const std::string& arguments) {
        std::string command = "echo $$; exec '" REFSERVICE_PROGRAM "' " + arguments;
        m_pPipe = popen(command.c_str(), "r");
        m_iPid = std::stoi(Line());
    }
    ~CProgram() {
        if (m_pPipe != nullptr) {
            kill(m_iPid, SIGKILL);
            pclose(m_pPipe);
        }
    }
    std::string Line() {
        char line[4096] = {};
        return std::fgets(line, sizeof line, m_pPipe) ? std::string(line) : std::string();
    }
    // Sends the signal and answers the exit status.
    int End(int signal) {
        kill(m_iPid, signal);
        int status = pclose(m_pPipe);
        m_pPipe = nullptr;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    std::FILE* m_pPipe = nullptr;
    int m_iPid = 0;
};

int RunToEnd(const std::string& arguments, std::string& output) {
    std::string command = "'" REFSERVICE_PROGRAM "' " + arguments + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    std::size_t size = 0;
    while ((size = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, size);
    }
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string LoginCode(int port, const std::string& password) {
    httplib::Client client("127.0.0.1", port);
    auto result =
        client.Post("/biz/ent/user/login", "usr_account=alice&usr_pwd=" + Base64Encode(password),
                    "application/x-www-form-urlencoded");
    return result ? ParseJson(result->body)["code"].asString() : "no answer";
}

TEST(ProgramTest, ItPrintsItsPortServesAndEndsCleanlyOnSigterm) {
    testing_support::TempHome home;
    std::string data = "--data '" + (home.path() / "data").string() + "' --port 0";
    int port = 0;
    {
        CProgram program(data + " --user alice:secret --quota 1000");
        port = std::stoi(program.Line());
        ASSERT_GT(port, 0);
        EXPECT_EQ(LoginCode(port, "secret"), "0");
        EXPECT_EQ(program.End(SIGTERM), 0);
    }
    EXPECT_EQ(LoginCode(port, "secret"), "no answer");

    CProgram again(data);
    port = std::stoi(again.Line());
    EXPECT_EQ(LoginCode(port, "secret"), "0") << "the account outlived the first run";
    std::string taken;
    EXPECT_EQ(
        RunToEnd("--data '" + (home.path() / "other").string() + "' --port " + std::to_string(port),
                 taken),
        1);
    EXPECT_NE(taken.find("cannot listen"), std::string::npos) << taken;
    EXPECT_EQ(again.End(SIGINT), 0);
}

TEST(ProgramTest, AskedForAWebLinkItPrintsTheAddressOfThatAccountsPage) {
    testing_support::TempHome home;
    std::string data = "--data '" + (home.path() / "data").string() + "' --port 0";
    CProgram program(data + " --user alice:secret --web-link alice");
    int port = std::stoi(program.Line());
    std::string link = program.Line();
    std::string prefix = "http://127.0.0.1:" + std::to_string(port) + "/web/files?token=";
    ASSERT_EQ(link.rfind(prefix, 0), 0u) << link;
    ASSERT_EQ(link.back(), '\n');
    httplib::Client client("127.0.0.1", port);
    std::string target = link.substr(prefix.find("/web/"));
    target.pop_back();
    auto page = client.Get(target);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("Files of alice"), std::string::npos) << page->body;
    EXPECT_EQ(program.End(SIGTERM), 0);

    std::string output;
    EXPECT_EQ(RunToEnd(data + " --web-link nobody", output), 1);
    EXPECT_NE(output.find("no account nobody"), std::string::npos) << output;
}

TEST(ProgramTest, CommandLinesItCannotFollowAreRefusedWithTheUsage) {
    testing_support::TempHome home;
    std::string data = " --data '" + (home.path() / "data").string() + "'";
    const char* cases[] = {"",           "--port 0",     "--port 70000", "--user nocolon",
                           "--user :pw", "--quota lots", "--frobnicate", "--port",
                           "--web-link"};
    for (const char* arguments : cases) {
        SCOPED_TRACE(arguments);
        std::string output;
        std::string line = arguments;
        if (line != "" && line != "--port 0") {
            line += data;
        }
        EXPECT_EQ(RunToEnd(line, output), 2);
        EXPECT_NE(output.find("usage: refservice"), std::string::npos) << output;
    }
}

}  // namespace
}  // namespace service_test
