#include "platform/CrashReport.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Paths.h"
#include "testing/ChildProcess.h"
#include "testing/TempHome.h"

namespace {

namespace fs = std::filesystem;

// Child: installs the handler and dies the way TEST_CRASH says.
TEST(CrashReportChild, DISABLED_Crash) {
    plat::InstallCrashHandler();
    const std::string how = getenv("TEST_CRASH");
    if (how == "raise") {
        raise(SIGSEGV);
    } else if (how == "fault") {
        // Through a volatile pointer, so the optimiser neither sees nor warns of the bad address.
        volatile int* volatile address = reinterpret_cast<volatile int*>(16);
        *address = 1;
    } else if (how == "abort") {
        abort();
    }
}

std::vector<fs::path> Reports(const fs::path& state) {
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(state / "log", error)) {
        if (entry.path().extension() == ".crash") {
            found.push_back(entry.path());
        }
    }
    return found;
}

TEST(CrashReportTest, FatalSignalWritesAReportAndStillEndsTheProcess) {
    struct Case {
        const char* how;
        int signal;
        const char* name;
    };
    const Case cases[] = {{"raise", SIGSEGV, "(SIGSEGV)"},
                          {"fault", SIGSEGV, "(SIGSEGV)"},
                          {"abort", SIGABRT, "(SIGABRT)"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        testing_support::TempHome home;
        testing_support::ChildProcess child("CrashReportChild.DISABLED_Crash",
                                            {std::string("TEST_CRASH=") + c.how});
        const pid_t pid = child.Pid();
        const int status = child.Wait();
        ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
        EXPECT_EQ(WTERMSIG(status), c.signal);

        const std::vector<fs::path> reports = Reports(plat::StateDir());
        ASSERT_EQ(reports.size(), 1u);
        const fs::path& report = reports[0];
        EXPECT_TRUE(report.filename().string().ends_with("-" + std::to_string(pid) + ".crash"))
            << report;
        EXPECT_EQ(report.filename().string().size(), 14 + 1 + std::to_string(pid).size() + 6);

        std::tm local = plat::Clock::LocalNow();
        char day[64];
        std::strftime(day, sizeof(day), "%y年%m月%d日", &local);
        EXPECT_EQ(report.parent_path().filename(), day) << "the trace log's day folder";

        std::ifstream in(report);
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_NE(text.str().find(c.name), std::string::npos) << text.str();
        EXPECT_NE(text.str().find("process: " + std::to_string(pid)), std::string::npos);
        const std::string trace = text.str().substr(text.str().find("backtrace:"));
        EXPECT_GE(std::count(trace.begin(), trace.end(), '\n'), 4) << "frames listed";
    }
}

}  // namespace
